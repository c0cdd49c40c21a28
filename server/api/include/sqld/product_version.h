#pragma once

// The one release tessel-sqld presents everywhere a client can ask: PRELOGIN,
// LOGINACK, @@VERSION and SERVERPROPERTY('ProductVersion'). 11.0 is the
// release whose protocol (TDS 7.4) and types (date, time, datetime2,
// datetimeoffset, the (max) types) the server speaks.

#include <cstdint>

namespace tessel::sqld {

constexpr std::uint8_t kProductMajor = 11;
constexpr std::uint8_t kProductMinor = 0;
constexpr std::uint16_t kProductBuild = 2100;
constexpr std::uint16_t kProductSubBuild = 60;
constexpr const char* kProductVersion = "11.0.2100.60";
constexpr const char* kProductVersionBanner =
    "Microsoft SQL Server 2012 - 11.0.2100.60 (X64) \n\tTessel tessel-sqld on SQLite";

// major, minor and build in LOGINACK's big-endian order.
constexpr std::uint32_t kProductLoginAckVersion =
    (std::uint32_t{kProductMajor} << 24) | (std::uint32_t{kProductMinor} << 16) | kProductBuild;

}  // namespace tessel::sqld
