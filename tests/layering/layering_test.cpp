// The folders are layers: platform < image < files < camera < guiding < capture < app < front ends
// (every `<folder>/qt/`, cli/ and indi/). A file includes only its own layer and lower ones; Qt and libusb
// headers appear only in qt/ folders and the USB transport; the simulator sees platform/ only.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/test_home.h"

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 7> kLayers = {"platform", "image",   "files", "camera",
                                                "guiding",  "capture", "app"};

int layerIndex(const std::string& folder) {
  const auto it = std::find(kLayers.begin(), kLayers.end(), folder);
  return it == kLayers.end() ? -1 : static_cast<int>(it - kLayers.begin());
}

// Every include of `file` (a path relative to `root`) that breaks the layer order, as
// "file:line: text" lines.
std::vector<std::string> violationsOf(const fs::path& root, const fs::path& file) {
  const std::string rel = file.generic_string();
  const std::string folder = rel.substr(0, rel.find('/'));
  const bool qt = rel.find("/qt/") != std::string::npos;
  const bool sim = folder == "sim";
  const bool cli = folder == "cli";
  const bool indi = folder == "indi";
  const bool usb = rel.rfind("platform/usb_libusb.", 0) == 0;
  const int own = layerIndex(folder);

  static const std::regex project_include(R"(^\s*#\s*include\s*"([A-Za-z_]+)/([^"]*)\")");
  static const std::regex system_include(R"(^\s*#\s*include\s*<(Q|libusb)[^>]*>)");
  std::vector<std::string> found;
  std::ifstream in(root / file);
  int line_no = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_no;
    const auto at = [&](const std::string& why) {
      found.push_back(rel + ":" + std::to_string(line_no) + ": " + why + ": " + line);
    };
    std::smatch m;
    if (std::regex_search(line, m, system_include) && !qt && !usb)
      at("Qt or libusb outside qt/ and the USB transport");
    if (!std::regex_search(line, m, project_include)) continue;
    const std::string target = m[1];
    const bool target_qt = m[2].str().rfind("qt/", 0) == 0;
    if (target == "cli" && !cli) {
      at("includes the command-line front end");
    } else if (target == "indi" && !indi) {
      at("includes the INDI driver");
    } else if (sim) {
      if (target != "sim" && (target != "platform" || target_qt)) at("the simulator sees platform/ only");
    } else if (qt || cli || indi) {
      if ((cli || indi) && target_qt) at("a front end without Qt includes a Qt view");
    } else if (target_qt) {
      at("logic includes a Qt view");
    } else if (target == "sim" && own >= 0) {
      at("logic includes the simulator");
    } else if (own >= 0 && layerIndex(target) > own) {
      at("includes a higher layer");
    }
  }
  return found;
}

std::vector<std::string> violationsUnder(const fs::path& root) {
  std::vector<std::string> found;
  for (const char* top :
       {"platform", "image", "files", "camera", "guiding", "capture", "app", "sim", "cli", "indi"}) {
    if (!fs::is_directory(root / top)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      auto v = violationsOf(root, fs::relative(entry.path(), root));
      found.insert(found.end(), v.begin(), v.end());
    }
  }
  return found;
}

TEST(Layering, SourceTreeIncludesOnlyItsOwnAndLowerLayers) {
  const auto found = violationsUnder(QLM_SOURCE_DIR);
  for (const auto& v : found)
    ADD_FAILURE() << v;
  EXPECT_TRUE(found.empty());
}

class PlantedTree : public ::testing::Test {
 protected:
  void plant(const std::string& rel, const std::string& text) {
    const fs::path p = home.path() / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  qlm::test::TempHome home;
};

TEST_F(PlantedTree, EachBrokenRuleIsNamedWithFileAndLine) {
  plant("image/ok.cpp", "#include \"image/frame.h\"\n#include \"platform/clock.h\"\n#include <vector>\n");
  plant("files/up.cpp", "#include \"files/pk.h\"\n#include \"capture/sequence.h\"\n");
  plant("camera/widget.cpp", "#include <QWidget>\n");
  plant("capture/qt/panel.cpp", "#include <QDialog>\n#include \"app/qt/main_window.h\"\n");
  plant("sim/mount.cpp", "#include \"platform/clock.h\"\n#include \"camera/link.h\"\n");
  plant("app/view.cpp", "#include \"image/qt/progress_dialog.h\"\n");
  plant("cli/verb.cpp", "#include \"app/startup.h\"\n#include \"app/qt/main_window.h\"\n");
  plant("capture/hook.cpp", "#include \"indi/t4_session.h\"\n");
  plant("indi/driver.cpp", "#include \"camera/link.h\"\n#include \"cli/verb_camera.h\"\n");
  auto found = violationsUnder(home.path());
  std::sort(found.begin(), found.end());
  ASSERT_EQ(found.size(), 7u);
  EXPECT_EQ(found[0].rfind("app/view.cpp:1: logic includes a Qt view", 0), 0u) << found[0];
  EXPECT_EQ(found[1].rfind("camera/widget.cpp:1: Qt or libusb", 0), 0u) << found[1];
  EXPECT_EQ(found[2].rfind("capture/hook.cpp:1: includes the INDI driver", 0), 0u) << found[2];
  EXPECT_EQ(found[3].rfind("cli/verb.cpp:2: a front end without Qt includes a Qt view", 0), 0u) << found[3];
  EXPECT_EQ(found[4].rfind("files/up.cpp:2: includes a higher layer", 0), 0u) << found[4];
  EXPECT_EQ(found[5].rfind("indi/driver.cpp:2: includes the command-line front end", 0), 0u) << found[5];
  EXPECT_EQ(found[6].rfind("sim/mount.cpp:2: the simulator sees platform/ only", 0), 0u) << found[6];
}

}  // namespace
