// The display effects of a program step: their texts, what the step's value
// means for each, the value a newly chosen effect starts with, and which
// effects a controller offers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/config_record.h"

namespace korvex {

// Effect indexes as stored in a program entry (positions in the effect list).
enum EffectIndex : int {
    kEffectShow = 0,     // 显示
    kEffectFadeIn = 1,   // 渐显
    kEffectLeft = 2,     // 左移
    kEffectRight = 3,    // 右移
    kEffectFadeOut = 4,  // 渐隐
    kEffectWait = 5,     // 等待
    kEffectUnfold = 6,   // 展开, firmware above 1.0 only
    kEffectFold = 7,     // 收拢, firmware above 1.0 only
};

constexpr int kEffectCount = 8;       // every effect a controller knows
constexpr int kBasicEffectCount = 6;  // what every controller offers

// The effect's text, UTF-8; every text is two characters. "??" for an
// index outside 0..7 (a step from a damaged file).
const char *EffectText(int effect);

// How many effects the effect list offers for a controller whose record was
// read: eight when it is signed and its version number is above 10 (1.0),
// else six. The list before any controller answered holds all eight.
int EffectsOffered(const ConfigRecord &record);

// "显示" and "等待" take a stay time in seconds; every other effect a speed.
bool EffectTakesSeconds(int effect);
// The caption of the value field for the effect: "停留", "等待" or "速度".
const char *ValueCaption(int effect);
// The value an effect starts with when the operator picks it: 1 second for
// the two timed effects, the fastest speed 31 for the others.
int DefaultValue(int effect);

constexpr int kValueMin = 0;  // speed or stay
constexpr int kValueMax = 31;

// The effect whose text is `text` (渐显), or -1.
int EffectNamed(std::string_view text);
// An effect as a script gives it: its text or its index 0..7 in decimal
// digits; -1 when it is neither.
int EffectFromText(std::string_view text);
// Every effect's text in index order, one space between them.
std::string EffectTextList();

// A new step's effect and value from what the operator has picked, -1 for
// nothing picked: an effect is needed, so none gives 显示; no value gives
// the effect's default value.
struct StepChoice {
    int effect;
    int value;
};
StepChoice NewStepChoice(int pickedEffect, int pickedValue);

}  // namespace korvex
