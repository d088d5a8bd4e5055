#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "settings/ConfVal.h"

namespace settings {

// The settings store: every configurable value as a named, typed parameter, kept in one
// enciphered file (directory + base name + ".cfset") whose signature is the base name.
// All strings are GBK; paths are converted to the locale's UTF-8 only when a file is opened.
//
// Encoded values (big-endian): text, directory, path: 16-bit length + bytes; integer,
// bit-defined, dictionary: 32-bit; decimal: IEEE double; data: 32-bit length + bytes.
class ConfSet {
public:
    using Params = std::map<std::string, ConfVal>;

    static constexpr size_t kMaxText = 0xFFFF;
    // The client's base name: the stem of its settings files and their signature.
    static constexpr std::string_view kBaseName = "Zorvu";

    // `directory` ends in the path separator.
    void Setup(std::string directory, std::string baseName);
    std::string SettingsPath() const { return directory + baseName + ".cfset"; }
    std::string TempPath() const { return directory + baseName + ".cftmp"; }
    const std::string& BaseName() const { return baseName; }

    bool Load();
    bool Save();
    // Brings the settings file and a temporary one left beside it into one state.
    bool SettleFiles(bool forLoad);
    bool ReadFile(const std::string& path, Params& target);

    ConfVal* Find(const std::string& name);
    const ConfVal* Find(const std::string& name) const;

    bool GetStr(const std::string& name, std::string& out);
    bool GetInt(const std::string& name, uint32_t& out);
    bool GetInt(const std::string& name, int32_t& out);
    bool GetBool(const std::string& name, bool& out);
    bool GetByte(const std::string& name, uint8_t& out);
    bool GetFloat(const std::string& name, double& out);
    // An integer that must be a TCP port (1-65535): any other value is refused with the
    // extraction message rather than cut to 16 bits.
    bool GetPort(const std::string& name, uint16_t& out);

    bool SetStr(const std::string& name, std::string_view v);
    bool SetInt(const std::string& name, uint32_t v);
    bool SetInt(const std::string& name, int32_t v) {
        return SetInt(name, static_cast<uint32_t>(v));
    }
    bool SetFloat(const std::string& name, double v);

    // The plain (not yet enciphered) content of the file for `params`.
    std::string Serialize() const;

    Params params;
    std::string Message;

private:
    const ConfVal* typed(const std::string& name, bool (*fits)(uint8_t),
                         const std::string& kindMsg);
    bool writeTemp(const std::string& body);

    std::string directory;
    std::string baseName;
};

} // namespace settings
