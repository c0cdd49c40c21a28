#pragma once

// The one release tessel-sqld presents everywhere a client can ask: PRELOGIN,
// LOGINACK, @@VERSION, @@MICROSOFTVERSION and SERVERPROPERTY. 15.0 (RTM) is
// the release whose T-SQL the server speaks (STRING_SPLIT, OPENJSON, FORMAT,
// STRING_AGG, TRIM, DROP IF EXISTS, CREATE OR ALTER ...); its protocol is
// still TDS 7.4.

#include <cstdint>

namespace tessel::sqld {

constexpr std::uint8_t kProductMajor = 15;
constexpr std::uint8_t kProductMinor = 0;
constexpr std::uint16_t kProductBuild = 2000;
constexpr std::uint16_t kProductSubBuild = 5;
constexpr const char* kProductVersion = "15.0.2000.5";
constexpr const char* kProductVersionBanner =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tTessel tessel-sqld on SQLite";
// When the build was made, as SERVERPROPERTY('ResourceLastUpdateDateTime')
// reports it.
constexpr const char* kProductReleased = "2019-09-24T13:48:23";

// major, minor and build in LOGINACK's big-endian order; @@MICROSOFTVERSION
// is the same number.
constexpr std::uint32_t kProductLoginAckVersion =
    (std::uint32_t{kProductMajor} << 24) | (std::uint32_t{kProductMinor} << 16) | kProductBuild;

}  // namespace tessel::sqld
