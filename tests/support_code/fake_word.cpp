#include "support_code/fake_word.h"

#include <fstream>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva::testing {
namespace {

struct FakeDocument : platform::WordDocument {
  FakeDocument(WordCalls& calls, std::string source) : calls_(calls), source_(std::move(source)) {}
  void SaveAs(const std::string& path, int format) override {
    calls_.calls.push_back("SaveAs " + path + " " + std::to_string(format));
    if (calls_.failSave) throw Error(errnum::kInvalidProcedureCall, "save failed");
    if (!calls_.watched.empty()) calls_.seen.push_back(TempFolder::Read(calls_.watched));
    std::ofstream(path, std::ios::binary) << "converted from " << TempFolder::Read(source_);
  }
  void Close(int saveChanges) override {
    calls_.calls.push_back("Close " + std::to_string(saveChanges));
  }
  WordCalls& calls_;
  std::string source_;
};

struct FakeWord : platform::WordApplication {
  explicit FakeWord(WordCalls& calls) : calls_(calls) {}
  void SetVisible(bool visible) override {
    calls_.calls.push_back(visible ? "Visible true" : "Visible false");
  }
  std::shared_ptr<platform::WordDocument> Open(const std::string& path) override {
    calls_.calls.push_back("Open " + path);
    if (calls_.failOpen) throw Error(errnum::kInvalidProcedureCall, "open failed");
    return std::make_shared<FakeDocument>(calls_, path);
  }
  void Quit() override {
    calls_.calls.push_back("Quit");
    ++calls_.quits;
  }
  WordCalls& calls_;
};

}  // namespace

std::shared_ptr<platform::WordApplication> FakeWordFactory::Create() {
  if (calls_.failCreateWith != 0) {
    throw Error(calls_.failCreateWith, "ActiveX component can't create object");
  }
  ++calls_.created;
  return std::make_shared<FakeWord>(calls_);
}

}  // namespace lorva::testing
