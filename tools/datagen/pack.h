// pack.h -- writing .saf archives.
#pragma once

#include <filesystem>
#include <string>

// Packs the files of folder into archive, each named prefix + its path
// inside the folder, in name order. With recursive false only the files
// directly in folder are taken. Large members are stored gzip-compressed
// under their name + ".gz", which the game reads transparently. False when
// something cannot be read or written.
bool pack_folder(const std::string& folder, const std::string& prefix,
                 const std::filesystem::path& archive, bool recursive);
