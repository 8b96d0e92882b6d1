// What the notice windows show and where they go: the volume label and bar
// texts, the bar's font, and the placement against the work area's bottom.
// Plain logic.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace osd {

// Font of the volume bar.
constexpr char VOLUME_BAR_FACE[] = "Arial Black";
constexpr int VOLUME_BAR_HEIGHT = 50;
constexpr int VOLUME_BAR_WEIGHT = 900;
constexpr std::int64_t VOLUME_BAR_MAX_LEVEL = 60;

// How long a volume notice stays after its last update, in milliseconds.
constexpr unsigned VOLUME_HOLD_TIME = 500;

// "Volume Up", "Volume Down", or an empty label (mute and anything else).
std::string VolumeLabel(int type);

// One stroke per level from 1 to 60; a single space for level 0, so the bar
// keeps its height; nothing outside 0 to 60.
std::string VolumeBar(std::int64_t level);

// Character width of the bar's strokes: 33 pixels per 1024 pixels of work
// area width, truncated.
int VolumeBarWidth(int workAreaWidth);

// The string a notice window is shaped to: its text and two spaces, which keep
// the overhang of a final italic letter inside the window.
std::string ShapedString(const std::string& text);

// Length of the longest start of a string, cut at one of its character ends
// (byte offsets, ascending), that is at most maxWidth wide; widthOf gives the
// width of the first n bytes. 0 when not even the first character fits.
std::size_t FittingLength(const std::vector<std::size_t>& characterEnds, int maxWidth,
                          const std::function<int(std::size_t)>& widthOf);

// Top of a window of the given height whose bottom lies `raisedBy` pixels
// above the work area's bottom.
int NoticeTop(int workAreaBottom, int height, int raisedBy = 0);

} // namespace osd
