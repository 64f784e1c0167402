// The destination folder as a run finds it: the folders the run writes into, which must not lead
// out of the destination, and what a run that was killed left behind.
#pragma once

#include <optional>
#include <string>

namespace lorva {

// The mkstemp pattern of the hidden name under which the file at `path` is set aside beside it
// while a run reads a converted page in its place: "." & name & ".kept-" & process id & "-XXXXXX".
std::string KeptPagePattern(const std::string& path);

// A folder of the destination that is a symbolic link.
struct FolderLink {
  std::string path;    // the link, below the destination
  std::string target;  // where it leads, as the link says
};

// The first folder a run writes into ("Images", "images", an attachment folder "<number>_files")
// that is a symbolic link leading anywhere but to a folder inside `destination`; nothing when
// there is none. The destination itself may be a link. Precondition: `destination` is a folder.
std::optional<FolderLink> LinkedFolderIn(const std::string& destination);

// Mends what a killed run left in `destination`: puts every conversion page ("<number>.htm") set
// aside (KeptPagePattern) back in its place, replacing what stands there, and removes the temporary
// files (TemporaryPathBeside) in the destination, its image folders and its attachment folders;
// both only when the process that made them has ended. Also removes symbolic links standing at the
// names of the rich-text copies the run writes (Images/<number>.rtf). Failures are passed over.
void RecoverInterruptedRun(const std::string& destination);

}  // namespace lorva
