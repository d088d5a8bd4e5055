#pragma once

#include <string>

#include "media/SIMCH.h"

namespace api {

// One patrol alarm report; every text GBK.
struct UpAlarmXC {
    std::string vehicle;
    media::SIMCH simch;
    std::string alarmType;
    std::string alarmTime; // "yyyy-mm-dd hh:nn:ss"
    std::string state;     // "未处理" or "已处理"
    std::string location;
    std::string driver;
    std::string contactNumber;
    std::string contactPerson;
    std::string handledBy;
    std::string handling;
    std::string pictureData; // Base64 of the picture file
    std::string picturePath;
    std::string remark;
};

} // namespace api
