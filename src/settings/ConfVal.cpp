#include "settings/ConfVal.h"

#include "util/GbkText.h"

namespace settings {

using namespace util::literals;

const std::string& ConfVal::TypeLabel(uint8_t type) {
    static const std::string none;
    switch (type) {
    case kConfText:
        return "字符串"_gbk;
    case kConfInt:
        return "整数"_gbk;
    case kConfFloat:
        return "小数"_gbk;
    case kConfBits:
        return "按位定义"_gbk;
    case kConfDict:
        return "字典定义"_gbk;
    case kConfDir:
        return "目录"_gbk;
    case kConfPath:
        return "路径文件"_gbk;
    case kConfData:
        return "数据"_gbk;
    default:
        return none;
    }
}

} // namespace settings
