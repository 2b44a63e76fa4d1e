#pragma once

#include "core/startup/LocalAddress.h"
#include "core/store/CallFiles.h"
#include "core/store/Clock.h"
#include "core/store/SettingsFile.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace tq3 {

// What the program takes from its surroundings; tests replace the parts that
// a real machine cannot produce on demand (the clock, this PC's address).
struct ClientEnvironment final {
    std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>();
    std::function<QString()> localAddress = &localIpv4Address;
    QString settingsFilePath = kSettingsFileName;
    std::chrono::milliseconds numberFilePatience = kNumberFilePatience;
};

} // namespace tq3
