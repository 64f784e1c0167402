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
       "label",
       "",
       "This tool archives KB items from the public folder into webpages ready for publication.",
       {120, 120, 3615, 495}},
      {"Label2", "label", "", "Select the folder to place the web pages.", {120, 840, 3135, 255}},
      {"txtDestination", "text", "", "", {120, 1080, 6015, 375}},
      {"cmdBrowseDestination", "button", "", "...", {6240, 1080, 495, 375}},
      {"fNaming", "frame", "", "Naming scheme of webpage", {120, 1560, 6615, 735}},
      {"pNaming", "panel", "fNaming", "", {120, 240, 6135, 375}},
      {"optNaming0", "option", "pNaming", "Use subject", {120, 0, 1695, 255}},
      {"optNaming1", "option", "pNaming", "Use incremental numbering", {2520, 0, 2415, 255}},
      {"txtNumbering", "text", "pNaming", "1000", {5040, 0, 975, 285}},
      {"fTOC", "frame", "", "", {120, 2400, 3495, 1575}},
      {"Label3", "label", "fTOC", "Group generated web KB Articles by", {360, 240, 3015, 255}},
      {"pTOC", "panel", "fTOC", "", {360, 480, 2895, 960}},
      {"optGroup0", "option", "pTOC", "Problem Category && Type", {0, 0, 2415, 255}},
      {"chkCollapse", "check", "pTOC", "Collapsible Outline", {240, 240, 2295, 255}},
      {"chkCollapseInitially", "check", "pTOC", "Collapse Initially", {240, 480, 2055, 195}},
      {"optGroup1", "option", "pTOC", "None", {0, 720, 2295, 255}},
      {"chkExtractIndexPage",
       "check",
       "",
       "Generate Table of Content (index.htm)",
       {240, 2400, 3255, 255}},
      {"frameOtherSettings", "frame", "", "Other Settings", {3720, 2400, 3015, 1575}},
      {"chkAttachments",
       "check",
       "frameOtherSettings",
       "Include Attachments",
       {120, 360, 2415, 255}},
      {"chkOverwrite", "check", "frameOtherSettings", "Overwrite files", {120, 720, 1575, 255}},
      {"chkRun", "check", "frameOtherSettings", "Run index.htm when done", {120, 1080, 2655, 255}},
      {"frameSelect", "frame", "", "Select Problem Categories && Types", {120, 4080, 6615, 2535}},
      {"chkSelectAllCategory", "check", "frameSelect", "", {120, 240, 255, 255}},
      {"Label4", "label", "frameSelect", "Problem Category", {360, 255, 2895, 255}},
      {"lstProblemCategory", "list", "frameSelect", "", {120, 495, 3135, 1860}},
      {"chkSelectAllType", "check", "frameSelect", "", {3360, 255, 255, 255}},
      {"Label5", "label", "frameSelect", "Problem Type", {3600, 255, 2895, 255}},
      {"lstProblemType", "list", "frameSelect", "", {3360, 495, 3135, 1860}},
      {"frameBottom", "panel", "", "", {0, 6600, 6855, 1095}},
      {"Line2", "line", "frameBottom", "", {0, 120, 6840, 0}},
      {"cmdGenerate", "button", "frameBottom", "Generate", {3960, 240, 1335, 400}},
      {"cmdExit", "button", "frameBottom", "Exit", {5400, 240, 1335, 400}},
      {"lblWebLink", "label", "frameBottom", "", {120, 720, 1575, 255}},
      {"pb", "progress", "frameBottom", "", {1920, 720, 4815, 255}},
  };
  return kLayout;
}

}  // namespace lorva
