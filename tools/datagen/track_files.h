// track_files.h -- writing a generated track's directory, and its pictures.
#pragma once

#include <string>

#include "course.h"

// Writes every file of the track into home/<dir>/ (home being the folder the
// game's "@" names write to). False when a file cannot be written.
bool write_track_files(const TrackDesc& desc, const GeneratedTrack& track, const std::string& home);
// A 1024 x 1024 shaded top-down picture of the whole field, for looking at.
bool write_overview(const TrackDesc& desc, const GeneratedTrack& track, const std::string& dir);
