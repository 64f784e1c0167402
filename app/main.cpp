// lorva-archive: turns a knowledge base kept in a mail store into static web pages.
#include <iostream>
#include <string>
#include <vector>

#include "app/list_items.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--list-items") {
    return lorva::ListItemsCommand(args, std::cout, std::cerr);
  }
  std::cerr << "usage: lorva-archive --list-items [--store DIR] [--folder PATH]\n"
               "  Lists the items of a mail store folder (default: the store's current folder)\n"
               "  with their class, subject, category, type and attachments.\n"
               "  The store is --store DIR, else $LORVA_STORE, else the bundled sample store.\n";
  return 2;
}
