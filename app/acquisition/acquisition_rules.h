// The acquisition worker's arithmetic, as plain functions of the test record: where each
// section's waveform sits in an instrument frame, where the test starts and ends, and the depth of
// a point. Depth readings of the instrument are the probes' travel in centimetres, 0 at the start
// level and growing as they rise.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>

#include "data/cinfo.h"

namespace lx9 {

// For each section k, the slot of the instrument frame that holds its waveform (slot k is the
// channel pair k in the order 1-2, 1-3, 1-4, 2-3, 2-4, 3-4): the sections in use take the slots
// of their channel pairs (every pair of enabled channels, or the transmitter
// with each other enabled channel), in section order; the remaining slots follow in their own
// order. With all four channels in pairwise mode this is 0..5.
std::array<int, kMaxSections> frameSlotOrder(const CInfo& info);

// Copies the frame (6 slots of sampleLength words) into `out` with the slots in section order.
void arrangeFrame(const uint16_t* frame, uint16_t* out, int sampleLength,
                  const std::array<int, kMaxSections>& order);

// Height of the start level above the top of the test in centimetres (the travel at which the
// point depth becomes 0): horizontal startDepth x 100; fan: section 0's sectionStartDepth x 100 -
// heightDiff / 10; inclined: the smallest of the first three sections' values, a section that is
// not displayed counting as 9 999 999.
double startHeightCm(const CInfo& info);

// Half-step tolerance in centimetres: stepMm / 10 x 0.5, truncated.
int32_t halfStepToleranceCm(int32_t stepMm);

// Travel of level i in centimetres: i x stepMm / 10, truncated.
int32_t levelCm(int32_t level, int32_t stepMm);

// Index of the last level of the test, the one at the start height (or just below it when the
// height is not a whole number of steps): trunc((height in mm + 1) / stepMm). The millimetre of
// slack absorbs the float error of a start depth such as 20.3 m, as the expected level count
// does. -1 when the step is not positive.
int32_t lastLevelIndex(const CInfo& info);

// Depth in metres of a point of section k at the given travel: horizontal startDepth - travel;
// inclined and fan sectionStartDepth - heightDiff / 1000 - travel of the section.
float pointDepth(const CInfo& info, int section, double travelCm);

// The end-of-test stamp: year + month + day of week + day + hour + minute + second of the local
// time (day of week 0 = Sunday).
int32_t endStampOf(const std::tm& local);
int32_t endStampNow();

}  // namespace lx9
