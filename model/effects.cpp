// Effect texts and the rules that follow the chosen effect.
#include "model/effects.h"

namespace korvex {

namespace {

const char *const kEffectTexts[kEffectCount] = {"显示", "渐显", "左移", "右移",
                                                "渐隐", "等待", "展开", "收拢"};

}  // namespace

const char *EffectText(int effect)
{
    return effect >= 0 && effect < kEffectCount ? kEffectTexts[effect] : "??";
}

int EffectsOffered(const ConfigRecord &record)
{
    return HasSignature(record) && VersionNumber(record) > 10 ? kEffectCount : kBasicEffectCount;
}

bool EffectTakesSeconds(int effect)
{
    return effect == kEffectShow || effect == kEffectWait;
}

const char *ValueCaption(int effect)
{
    if (effect == kEffectShow)
        return "停留";
    if (effect == kEffectWait)
        return "等待";
    return "速度";
}

int DefaultValue(int effect)
{
    return EffectTakesSeconds(effect) ? 1 : kValueMax;
}

int EffectNamed(std::string_view text)
{
    for (int e = 0; e < kEffectCount; ++e)
        if (text == kEffectTexts[e])
            return e;
    return -1;
}

int EffectFromText(std::string_view text)
{
    const bool digits = !text.empty() && text.size() <= 9 &&
                        text.find_first_not_of("0123456789") == std::string_view::npos;
    if (!digits)
        return EffectNamed(text);
    const int index = std::stoi(std::string(text));
    return index < kEffectCount ? index : -1;
}

std::string EffectTextList()
{
    std::string list;
    for (int e = 0; e < kEffectCount; ++e)
        list += std::string(e ? " " : "") + kEffectTexts[e];
    return list;
}

StepChoice NewStepChoice(int pickedEffect, int pickedValue)
{
    const int effect = pickedEffect >= 0 ? pickedEffect : kEffectShow;
    return {effect, pickedValue >= 0 ? pickedValue : DefaultValue(effect)};
}

}  // namespace korvex
