#include "private_folder.h"

#include <cstdlib>

namespace isovar_plot {

const char* const kPlotFolderPrefix = "isovar-plot-";

std::vector<std::string> plot_folder_bases() {
  std::vector<std::string> bases;
  const char* tmp = std::getenv("TMPDIR");
  if (tmp != nullptr && *tmp != '\0') bases.emplace_back(tmp);
  if (bases.empty() || bases[0] != "/tmp") bases.emplace_back("/tmp");
  return bases;
}

}  // namespace isovar_plot
