#include "app/views/Device.h"

#include "json/JSON.h"

Device::Device(const JSON& from)
    : id(from["id"].stringValue()), name(from["device_name"].stringValue()), os(from["os"].stringValue()),
      platform(from["platform"].stringValue()), lastLogin(from["last_login_at"].stringValue()) {
    if (lastLogin.empty()) lastLogin = "Never";
}
