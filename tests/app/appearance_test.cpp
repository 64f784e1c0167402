#include "app/appearance.h"

#include <gtest/gtest.h>

namespace lorva {
namespace {

// 2400 twips wide at Left 120 on a 15-twips-per-pixel screen: 80 + 8 = 88; halves round to even.
TEST(AppearanceTest, SamplesTheCentreOfTheControlInPixelsAndAFailedSampleKeepsTheColour) {
  const PixelPoint centre = SamplePoint({120, 0, 2400, 30}, 15, 15),
                   halves = SamplePoint({0, 0, 15, 45}, 15, 15);
  EXPECT_EQ(std::make_pair(centre.x, centre.y), std::make_pair(88, 1));
  EXPECT_EQ(std::make_pair(halves.x, halves.y), std::make_pair(0, 2));  // 0.5 and 1.5
  const PixelReader outside = [](PixelPoint) { return std::optional<std::uint32_t>(); };
  EXPECT_EQ(SampledBackColor({0, 0, 100, 100}, 15, 15, outside, 0x123456u), 0x123456u);
  const PixelReader grey = [](PixelPoint) { return std::optional<std::uint32_t>(0x00C0C0C0u); };
  EXPECT_EQ(SampledBackColor({0, 0, 100, 100}, 15, 15, grey, 0x123456u), 0x00C0C0C0u);
}

TEST(AppearanceTest, EveryControlLiesInsideTheClientArea) {
  for (const ControlLayout& c : MainWindowLayout()) {
    const auto& r = c.rect;
    EXPECT_TRUE(!c.container.empty() || (r.left >= 0 && r.left + r.width <= kClientWidthTwips &&
                                         r.top + r.height <= kClientHeightTwips))
        << c.name;
  }
}

}  // namespace
}  // namespace lorva
