#include "page/sorted_dictionary.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support_code/test_services.h"

namespace lorva {
namespace {

std::shared_ptr<cArticle> Record(const std::string& subject) {
  auto record = std::make_shared<cArticle>();
  record->Subject = subject;
  return record;
}

TEST(ArticleDictionaryTest, KeysMatchWithoutRegardToLetterCase) {
  testing::TestServices test;
  auto dictionary = fncCreateDic(test.services);
  EXPECT_EQ(dictionary->CompareMode, 1);
  EXPECT_EQ(test.reporter.fncGetCurrentStep(),
            "Attempting to create a new Scripting.Dictionary object. This component is usually "
            "installed with Internet Explorer 4.0 or later");
  const auto first = Record("Printer jams");
  dictionary->Add("Printer jams", first);
  dictionary->Add(
      "\xC3\x84rger mit Stra\xC3\x9F"
      "e",
      Record("x"));  // Ärger mit Straße
  const char* present[] = {"Printer jams", "PRINTER JAMS", "printer Jams",
                           "\xC3\xA4RGER MIT STRASSE"};
  for (const char* key : present) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(dictionary->Exists(key));
  }
  EXPECT_FALSE(dictionary->Exists("Printer jam"));
  EXPECT_FALSE(dictionary->Exists("Printer jams "));
  EXPECT_EQ(dictionary->Item("PRINTER JAMS"), first);
  EXPECT_EQ(dictionary->Item("nothing"), nullptr);
  EXPECT_THROW(dictionary->Add("printer JAMS", Record("y")), Error);
  EXPECT_EQ(dictionary->Count(), 2);
  EXPECT_EQ(dictionary->Keys(), (std::vector<std::string>{"Printer jams",
                                                          "\xC3\x84rger mit Stra\xC3\x9F"
                                                          "e"}));
  dictionary->RemoveAll();
  EXPECT_EQ(dictionary->Count(), 0);
  EXPECT_FALSE(dictionary->Exists("Printer jams"));
}

TEST(FncSortDictionaryTest, OrdersByKeyIgnoringLetterCase) {
  testing::TestServices test;
  auto dictionary = fncCreateDic(test.services);
  const std::vector<std::string> added = {
      "gamma", "beta",     "Alpha",    "Zulu",    "\xC3\xA9t\xC3\xA9",
      "apple", "Beta two", "10 steps", "2 steps", "delta"};
  std::vector<std::shared_ptr<cArticle>> records;
  for (const auto& key : added) {
    records.push_back(Record(key));
    dictionary->Add(key, records.back());
  }
  auto sorted = fncSortDictionary(test.services, *dictionary, 1, false);
  ASSERT_NE(sorted, nullptr);
  EXPECT_EQ(sorted->Keys(),
            (std::vector<std::string>{"10 steps", "2 steps", "Alpha", "apple", "beta", "Beta two",
                                      "delta", "\xC3\xA9t\xC3\xA9", "gamma", "Zulu"}));
  // The passed dictionary is emptied; the records come back as the same objects.
  EXPECT_EQ(dictionary->Count(), 0);
  for (std::size_t i = 0; i < added.size(); ++i) {
    SCOPED_TRACE(added[i]);
    EXPECT_EQ(sorted->Item(added[i]), records[i]);
  }
  EXPECT_EQ(sorted->CompareMode, 1);
  EXPECT_TRUE(sorted->Exists("ZULU"));
}

}  // namespace
}  // namespace lorva
