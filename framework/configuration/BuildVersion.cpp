#include "configuration/BuildVersion.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "generic/Distribution.h"

namespace Configuration {

char const* const BuildVersion::s_version_message =
    "\nTool:          %s\nDistribution:  %s\nBuild Version: %s\n\n"
    "     Copyright (c) Orvalis Technologies 2002-%s.\n"
    "     All rights reserved.\n\n";
char const* const BuildVersion::s_library_version_message =
    "\nLibrary:       %s\nDistribution:  %s\nBuild Version: %s\n\n";
char const* const BuildVersion::s_default_year = "2002";
char const* const BuildVersion::s_distribution = Generic::k_distribution;
char const* BuildVersion::s_build_version_string = nullptr;
char* BuildVersion::s_current_year = nullptr;

void BuildVersion::initialise(char const* buildVersion) {
    if (s_build_version_string != nullptr) return;
    s_build_version_string = buildVersion;

    // Lives for the rest of the process, like the recorded build version.
    s_current_year = new char[5];
    std::time_t now = std::time(nullptr);
    std::tm const* local = std::localtime(&now);
    // strftime gives 0 when a year of more than four digits does not fit.
    if (local == nullptr || std::strftime(s_current_year, 5, "%Y", local) <= 3)
        std::strcpy(s_current_year, s_default_year);
}

namespace {

char* makeBanner(char const* format, char const* title, char const* version) {
    std::size_t size = std::strlen(format) + std::strlen(title) + std::strlen(version) + 500;
    char* banner = new char[size];
    char const* build = BuildVersion::s_build_version_string ? BuildVersion::s_build_version_string : "";
    char const* year =
        BuildVersion::s_current_year ? BuildVersion::s_current_year : BuildVersion::s_default_year;
    std::snprintf(banner, size, format, title, BuildVersion::s_distribution, build, year);
    return banner;
}

}  // namespace

char* BuildVersion::getBuildVersion(char const* title, char const* version) {
    return makeBanner(s_version_message, title, version);
}

char* BuildVersion::getBuildVersionLibrary(char const* title, char const* version) {
    return makeBanner(s_library_version_message, title, version);
}

char* itoa(int value, char* buffer, int base) {
    if (buffer == nullptr) return nullptr;
    switch (base) {
        case 10: std::sprintf(buffer, "%d", value); break;
        case 8: std::sprintf(buffer, "%o", static_cast<unsigned>(value)); break;
        default: std::sprintf(buffer, "%0X", static_cast<unsigned>(value)); break;
    }
    return buffer;
}

void printToolVersion(char const* buildVersion, char const* title, char const* version, char const* notice) {
    BuildVersion::initialise(buildVersion);
    std::unique_ptr<char[]> const banner(BuildVersion::getBuildVersion(title, version));
    std::printf("%s\n%s\n\n", banner.get(), notice);
}

}  // namespace Configuration
