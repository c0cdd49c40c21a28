#pragma once

#include <string>

namespace tessel::detail {

// The workstation name sent at login: the host name when it fits the
// 16-character buffer the login record takes it from (15 characters and the
// terminating zero), otherwise "UNKNOWN". An empty or missing name is UNKNOWN too.
std::string WorkstationName(const char* host_name);

// The settings file of the client library that ChangeNetLib writes:
// $TESSEL_DBLIB_CONF when set, else /etc/tessel/dblib.conf.
std::string NetLibSettingsPath();

// Sets DSQUERY=<value> in the client library's section of the settings file
// at `path`, keeping its other lines. False on any failure.
bool WriteNetLibSetting(const std::string& path, const std::string& value);

}  // namespace tessel::detail
