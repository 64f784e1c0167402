#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/run_fixture.h"
#include "base/html_text.h"
#include "page/sorted_dictionary.h"
#include "support/file_system.h"

namespace lorva::testing {
namespace {

// The runs keep only subject and file name of each page for index.htm; its entries must still
// come in the order, and with the duplicates, of the sorted article dictionary.
class IndexOrderTest : public ProgramFixture {
 protected:
  struct Article {
    const char* subject;
    const char* type;  // of category "C"
  };

  // The subjects listed, in the order of the index; each as index.htm writes it.
  static std::vector<std::string> Listed(const std::string& index) {
    std::vector<std::string> subjects;
    for (std::size_t at = index.find("'>"); at != std::string::npos;
         at = index.find("'>", at + 2)) {
      subjects.push_back(index.substr(at + 2, index.find("</a>", at) - at - 2));
    }
    return subjects;
  }

  // What a dictionary filled with `subjects` in turn (a subject already present is not added)
  // and then sorted gives, each as index.htm writes it.
  std::vector<std::string> DictionaryOrder(const std::vector<std::string>& subjects) {
    auto dictionary = fncCreateDic(services);
    for (const std::string& subject : subjects) {
      if (!dictionary->Exists(subject)) dictionary->Add(subject, std::make_shared<cArticle>());
    }
    dictionary = fncSortDictionary(services, *dictionary, 1, false);
    std::vector<std::string> order;
    for (const std::string& key : dictionary->Keys()) {
      order.push_back(ToAsciiWithReferences(HtmlEscape(key)));
    }
    return order;
  }
};

TEST_F(IndexOrderTest, EntriesComeInTheSortedDictionarysOrder) {
  // Letter case, accents, digits, punctuation, folded forms ("ß" and "ss" match as keys), and
  // duplicates within one type and across the two types.
  const Article articles[] = {
      {"apple", "T1"},  {"Zebra", "T2"}, {"Äpfel", "T1"}, {"APPLE", "T1"},  {"éclair", "T2"},
      {"Eclair", "T2"}, {"apple", "T2"}, {"ß", "T1"},     {"ss", "T1"},     {"10 tips", "T2"},
      {"9 tips", "T2"}, {"a-b", "T1"},   {"ab", "T1"},    {"_under", "T2"}, {"zèbre", "T1"},
      {"Zebra", "T1"},  {"ÄPFEL", "T1"}, {"Œuvre", "T2"}, {"oeuvre", "T2"}, {"b", "T1"},
  };
  std::map<std::string, std::vector<std::string>> byType;
  std::vector<std::string> all;
  for (const Article& a : articles) {
    Add(FakeItem::Post(a.subject, "C", a.type));
    byType[a.type].push_back(a.subject);
    all.push_back(a.subject);
  }
  Load();
  form->chkAttachments.SetValue(0);
  form->chkOverwrite.SetValue(1);

  form->optGroup.Select(1);
  Generate();
  EXPECT_EQ(Listed(Read("index.htm")), DictionaryOrder(all)) << "flat run";

  form->optGroup.Select(0);
  Generate();
  std::vector<std::string> grouped = DictionaryOrder(byType["T1"]);
  for (const std::string& subject : DictionaryOrder(byType["T2"])) grouped.push_back(subject);
  EXPECT_EQ(Listed(Read("index.htm")), grouped) << "grouped run";
}

}  // namespace
}  // namespace lorva::testing
