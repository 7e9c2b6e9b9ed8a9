// dump isp | dump info run as a program: the same folder and files as the
// dumps of the Flash Diagnosis page, on a fresh copy of the same drives.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/page_side.h"
#include "cli/work_folder.h"
#include "flash/code_dump.h"

namespace dozered {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::CliRun;
using testing::PageSide;
using testing::ReadWholeFile;
using testing::WorkFolder;

// Every file under `folder`, by its path inside it, with its bytes.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).generic_string()] = ReadWholeFile(entry.path());
  }
  return files;
}

TEST(CliDumpTest, DumpWritesTheSameFilesAsTheDiagnosisPage) {
  struct Case {
    const char* name;
    DumpKind kind;
    const char* word;
    const char* folder;  // --folder, "" for none
  } cases[] = {
      {"isp in the working directory", DumpKind::kIsp, "isp", ""},
      {"info into --folder", DumpKind::kInfo, "info", "dumps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageSide page(0);
    DumpPlace place;
    place.Base = page.Dir() / "page";
    fs::create_directory(place.Base);
    const DumpOutcome expected = DumpControllerArea(page.State(), page.Feedback(), c.kind, place);
    ASSERT_EQ(expected.Status, FlashStatus::kDone) << expected.Message;
    ASSERT_GT(expected.FilesWritten, 0);

    const WorkFolder folder;
    std::vector<std::string> args = {"--json", "dump", c.word};
    fs::path base = folder.Dir();
    if (*c.folder != '\0') {
      args.insert(args.end(), {"--folder", c.folder});
      base /= c.folder;
      fs::create_directory(base);
    }
    const CliRun run = folder.Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Json doc = Json::parse(run.out);
    EXPECT_EQ(doc["files_written"], expected.FilesWritten);
    const fs::path made = doc["folder"].get<std::string>();
    EXPECT_EQ(made.filename(), expected.Folder.filename());
    EXPECT_EQ(FilesUnder(base / made.filename()), FilesUnder(expected.Folder));
  }
}

}  // namespace
}  // namespace dozered
