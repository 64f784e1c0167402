// lorva-archive: turns a knowledge base kept in a mail store into static web pages.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/list_items.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--list-items") {
    return lorva::ListItemsCommand(args, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "--generate") {
    return lorva::BatchCommand(args, std::cout, std::cerr);
  }
  std::cerr << lorva::BatchUsage();
  return args.empty() ? 0 : lorva::kBatchUsageError;
}
