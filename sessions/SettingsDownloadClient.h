// Where the remote settings come from: one fetch of the settings document.
#pragma once

#include "sessions/SettingsDownloaderError.h"

#include "platform/object/Object.h"

#include <functional>
#include <variant>

using SettingsFetchResult = std::variant<plat::Object::Dict, SettingsDownloaderError>;

class SettingsDownloadClient {
public:
    virtual ~SettingsDownloadClient() = default;
    // Fetches the document; the completion runs once, on a thread of the download's choosing.
    virtual void fetch(std::function<void(SettingsFetchResult)> completion) = 0;
};
