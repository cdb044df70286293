#pragma once

#include <vector>

class MicroarraySamples;
class SampleColoringState;

// The colour that the coloured surfaces give a microarray sample by its level: the level at the sample's
// index + 2 (its z-score while the model shows z-scores) must pass the model's level threshold, and picks
// the entry of `table` (256 RGB entries) by its place in the expression window. False, leaving rgb as it
// is, for a sample that does not pass, that is a placeholder (index below 0), whose index is beyond the
// levels or whose level is not finite (+infinity marks a value that was not measured).
bool SampleLevelColor(int sampleIndex, const std::vector<float>& levels, const MicroarraySamples& data,
                      const SampleColoringState& model, const unsigned char* table, unsigned char* rgb);
