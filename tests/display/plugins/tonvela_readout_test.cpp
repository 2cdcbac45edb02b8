// tonvelaReadout against the saturator itself: after setParameter(v) the
// effect's stored or working value, through the formatter of each value
// display, must give the same text as the read-out derived from v alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/value_format.h"
#include "tests/support/effect_access.h"
#include "tonvela/tonvela_effect.h"

namespace {

using namespace klv::display;
using klv::tonvela::TonvelaEffect;

struct Display {
    int index;
    Formatter format;
    bool working;  // the display shows the working value, else getParameter
};

const Display kDisplays[] = {{1, formatDecibel, true},   {2, formatDecibel, true},  {3, formatPercent, false},
                             {4, formatShapeName, true}, {5, formatPercent, false}, {6, formatDecibel, true},
                             {7, formatDecibel, true},   {8, formatHz, true},       {9, formatHz, true},
                             {10, formatPercent, false}, {11, formatPercent, false}};

TEST(TonvelaReadoutAgainstEffect, EveryValueDisplay) {
    auto instance = klv::test::makeInstance();
    ASSERT_TRUE(instance);
    auto* effect = klv::test::effectObject<TonvelaEffect>(instance->effect());
    std::vector<float> values;
    for (int i = 0; i <= 1024; ++i) values.push_back(i / 1024.0f);
    for (const Display& d : kDisplays)
        for (float v : values) {
            instance->setParameter(d.index, v);
            const float shown = d.working ? effect->getWorkingValue(d.index) : instance->getParameter(d.index);
            char expected[256];
            d.format(shown, expected);
            ASSERT_EQ(tonvelaReadout(d.index, v), std::string(expected)) << "parameter " << d.index << " at " << v;
        }
}

}  // namespace
