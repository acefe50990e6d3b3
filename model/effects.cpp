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

}  // namespace korvex
