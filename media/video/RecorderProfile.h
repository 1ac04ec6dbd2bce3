// The Windows Media profile the recorder writes with: a fixed template whose size, bit rate and frame
// duration are filled in per recording.
#pragma once
#include <string>

// The XML text with the placeholders "{_MY_WIDTH_}", "{_MY_HEIGHT_}", "{_MY_V_BR_}" and "{_MY_FPS_}".
extern const char* const RecorderProfileTemplate;

// Replaces every placeholder: width and height as given, the bit rate as kilobits x 1000 and the
// average time per frame as (100000 / framesPerSecond) x 100. Empty when framesPerSecond is below 1.
std::string FillRecorderProfile(const std::string& profileTemplate, int width, int height, int videoKbps,
                                int framesPerSecond);
