// clamporaReadout against the compressor itself: after setParameter(v) the
// effect's stored and working values, through the formatter of each value
// display, must give the same text as the read-out derived from v alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clampora/clampora_effect.h"
#include "display/value_format.h"
#include "tests/support/effect_access.h"

namespace {

using namespace klv::display;
using klv::clampora::ClamporaEffect;

struct Display {
    int index;
    Formatter format;
};

// The compressor editor's value displays; each shows getParameterValue,
// which for the non-gain, non-filter parameters is the stored value.
const Display kDisplays[] = {{1, formatDecibel},      {2, formatPercent},     {3, formatSlope},
                             {4, formatAttackTime},   {5, formatReleaseTime}, {6, formatMakeupGain},
                             {7, formatPercent},      {8, formatDecibel},     {9, formatHz},
                             {10, formatShortNumber}, {11, formatHoldTime}};

std::vector<float> sweep() {
    std::vector<float> values;
    for (int i = 0; i <= 1024; ++i) values.push_back(i / 1024.0f);
    // Band edges of the time and make-up knobs, and a little outside 0..1.
    for (float v : {0.0416665f, 0.0416667f, 0.1249999f, 0.125f, 0.1499999f, 0.15f, 0.1666665f, 0.1666666f, 0.1666667f,
                    -0.25f, 1.25f})
        values.push_back(v);
    return values;
}

TEST(ClamporaReadoutAgainstEffect, EveryValueDisplay) {
    auto instance = klv::test::makeInstance();
    ASSERT_TRUE(instance);
    auto* effect = klv::test::effectObject<ClamporaEffect>(instance->effect());
    for (const Display& d : kDisplays)
        for (float v : sweep()) {
            instance->setParameter(d.index, v);
            char expected[256];
            d.format(effect->getParameterValue(d.index), expected);
            ASSERT_EQ(clamporaReadout(d.index, v), std::string(expected)) << "parameter " << d.index << " at " << v;
        }
}

}  // namespace
