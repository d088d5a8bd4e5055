#pragma once

#include <string>
#include <string_view>

#include "settings/ConfSet.h"

// The readable form of a settings file (UTF-8), kept in the repository and turned into the
// enciphered file at build time. One parameter per block of "key: value" lines:
//
//   name: RTP服务器端口          starts a block
//   category: 连接
//   type: 整数                   a type label or its code 0-7
//   internal: 0                  1 lists it only in the editor's show-all mode
//   description: ...
//   dict: 0=综合平台             repeated, one entry each (types 3 and 4)
//   value: 9300                  as tavrina-config set takes it; numbers default to 0
//
// Blank lines and lines starting with '#' are ignored.
namespace settingstemplate {

// Adds every parameter of `text` to `store` (GBK inside). `error` names the line at fault.
bool read(std::string_view text, settings::ConfSet& store, std::string& error);

} // namespace settingstemplate
