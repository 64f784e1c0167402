#include "app/appearance.h"

#include <cfenv>
#include <cmath>

namespace lorva {

PixelPoint SamplePoint(const TwipRect& rect, int tx, int ty) {
  // nearbyint rounds in the current mode, which is round-half-to-even unless changed.
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double x = static_cast<double>(rect.width) / tx / 2 + static_cast<double>(rect.left) / tx;
  const double y = static_cast<double>(rect.height) / ty / 2 + static_cast<double>(rect.top) / ty;
  PixelPoint point{static_cast<std::int32_t>(std::nearbyint(x)),
                   static_cast<std::int32_t>(std::nearbyint(y))};
  std::fesetround(mode);
  return point;
}

std::uint32_t SampledBackColor(const TwipRect& rect, int tx, int ty, const PixelReader& read,
                               std::uint32_t current) {
  if (tx <= 0 || ty <= 0 || !read) return current;
  const std::optional<std::uint32_t> colour = read(SamplePoint(rect, tx, ty));
  return colour ? *colour : current;
}

const std::vector<ControlLayout>& MainWindowLayout() {
  static const std::vector<ControlLayout> kLayout = {
      {"Label1",
       ControlKind::kLabel,
       "",
       "This tool archives KB items from the public folder into webpages ready for publication.",
       {120, 120, 3615, 495}},
      {"Label2",
       ControlKind::kLabel,
       "",
       "Select the folder to place the web pages.",
       {120, 840, 3135, 255}},
      {"txtDestination", ControlKind::kText, "", "", {120, 1080, 6015, 375}},
      {"cmdBrowseDestination", ControlKind::kButton, "", "...", {6240, 1080, 495, 375}},
      {"fNaming", ControlKind::kFrame, "", "Naming scheme of webpage", {120, 1560, 6615, 735}},
      {"pNaming", ControlKind::kPanel, "fNaming", "", {120, 240, 6135, 375}},
      {"optNaming0", ControlKind::kOption, "pNaming", "Use subject", {120, 0, 1695, 255}},
      {"optNaming1",
       ControlKind::kOption,
       "pNaming",
       "Use incremental numbering",
       {2520, 0, 2415, 255}},
      {"txtNumbering", ControlKind::kText, "pNaming", "1000", {5040, 0, 975, 285}},
      {"fTOC", ControlKind::kFrame, "", "", {120, 2400, 3495, 1575}},
      {"Label3",
       ControlKind::kLabel,
       "fTOC",
       "Group generated web KB Articles by",
       {360, 240, 3015, 255}},
      {"pTOC", ControlKind::kPanel, "fTOC", "", {360, 480, 2895, 960}},
      {"optGroup0", ControlKind::kOption, "pTOC", "Problem Category && Type", {0, 0, 2415, 255}},
      {"chkCollapse", ControlKind::kCheck, "pTOC", "Collapsible Outline", {240, 240, 2295, 255}},
      {"chkCollapseInitially",
       ControlKind::kCheck,
       "pTOC",
       "Collapse Initially",
       {240, 480, 2055, 195}},
      {"optGroup1", ControlKind::kOption, "pTOC", "None", {0, 720, 2295, 255}},
      {"chkExtractIndexPage",
       ControlKind::kCheck,
       "",
       "Generate Table of Content (index.htm)",
       {240, 2400, 3255, 255}},
      {"frameOtherSettings", ControlKind::kFrame, "", "Other Settings", {3720, 2400, 3015, 1575}},
      {"chkAttachments",
       ControlKind::kCheck,
       "frameOtherSettings",
       "Include Attachments",
       {120, 360, 2415, 255}},
      {"chkOverwrite",
       ControlKind::kCheck,
       "frameOtherSettings",
       "Overwrite files",
       {120, 720, 1575, 255}},
      {"chkRun",
       ControlKind::kCheck,
       "frameOtherSettings",
       "Run index.htm when done",
       {120, 1080, 2655, 255}},
      {"frameSelect",
       ControlKind::kFrame,
       "",
       "Select Problem Categories && Types",
       {120, 4080, 6615, 2535}},
      {"chkSelectAllCategory", ControlKind::kCheck, "frameSelect", "", {120, 240, 255, 255}},
      {"Label4", ControlKind::kLabel, "frameSelect", "Problem Category", {360, 255, 2895, 255}},
      {"lstProblemCategory", ControlKind::kList, "frameSelect", "", {120, 495, 3135, 1860}},
      {"chkSelectAllType", ControlKind::kCheck, "frameSelect", "", {3360, 255, 255, 255}},
      {"Label5", ControlKind::kLabel, "frameSelect", "Problem Type", {3600, 255, 2895, 255}},
      {"lstProblemType", ControlKind::kList, "frameSelect", "", {3360, 495, 3135, 1860}},
      {"frameBottom", ControlKind::kPanel, "", "", {0, 6600, 6855, 1095}},
      {"Line2", ControlKind::kLine, "frameBottom", "", {0, 120, 6840, 0}},
      {"cmdGenerate", ControlKind::kButton, "frameBottom", "Generate", {3960, 240, 1335, 400}},
      {"cmdExit", ControlKind::kButton, "frameBottom", "Exit", {5400, 240, 1335, 400}},
      {"lblWebLink", ControlKind::kLabel, "frameBottom", "", {120, 720, 1575, 255}},
      {"pb", ControlKind::kProgress, "frameBottom", "", {1920, 720, 4815, 255}},
  };
  return kLayout;
}

}  // namespace lorva
