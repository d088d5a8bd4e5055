#include "ui/StoragePaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "util/GbkText.h"

using util::gbkToUtf8;
using util::utf8ToGbk;

namespace {

namespace fs = std::filesystem;

class StoragePathsTest : public ::testing::Test {
protected:
    StoragePathsTest() {
        dir = fs::temp_directory_path() / ("tavrina-paths-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        context.root = utf8ToGbk(dir.string() + "/媒体/");
        fs::create_directory(dir / "媒体");
        context.now = util::encodeDateTime(2024, 3, 5, 14, 7, 9);
        context.playbackDate = "2024-03-01";
        context.playbackSecond = 8 * 3600 + 30 * 60 + 15;
        context.patrolPlanTime = "09.15.00";
    }
    ~StoragePathsTest() override { fs::remove_all(dir); }

    // The path made, relative to the root, in UTF-8; "" when none was made.
    std::string make(int kind, const char* vehicle, const std::string& label, const char* ext,
                     util::DateTime time = 0) {
        std::string out;
        if (!ui::MakeFilePath(context, out, kind, utf8ToGbk(vehicle), label, ext, time)) return "";
        return gbkToUtf8(out).substr(gbkToUtf8(context.root).size());
    }

    fs::path dir;
    ui::StorageContext context;
};

TEST_F(StoragePathsTest, KindDayAndTimeNameTheFile) {
    struct Case {
        const char* name;
        bool live;
        int kind;
        std::string label;
        const char* ext;
        util::DateTime time;
        const char* want;
    };
    const util::DateTime clip = util::encodeDateTime(2024, 2, 29, 23, 59, 58);
    const Case cases[] = {
        {"live snapshot", true, 0, "CH1 ", ".jpg", 0,
         "截图/2024-03-05/粤B12345_CH1 _2024-03-05 14.07.09.jpg"},
        {"playback snapshot", false, 0, "CH1 ", ".jpg", 0,
         "截图/2024-03-01/粤B12345_CH1 _2024-03-01 08.30.15.jpg"},
        {"recording", true, 1, "CH12", ".flv", 0,
         "录像/2024-03-05/粤B12345_CH12_2024-03-05 14.07.09.flv"},
        {"patrol", true, 2, "CH3 ", ".flv", 0,
         "巡查录像/2024-03-05/09.15.00/粤B12345_CH3 _2024-03-05 14.07.09.flv"},
        {"clip at its own time", false, 3, "CH2 ", ".flv", clip,
         "历史剪辑/2024-02-29/粤B12345_CH2 _2024-02-29 23.59.58.flv"},
        {"channel 40 has no label", true, 0, "", ".jpg", 0,
         "截图/2024-03-05/粤B12345__2024-03-05 14.07.09.jpg"},
        {"unknown kind", true, 4, "CH1 ", ".jpg", 0, ""},
    };
    for (const Case& c : cases) {
        context.liveMode = c.live;
        const std::string got = make(c.kind, "粤B12345", c.label, c.ext, c.time);
        EXPECT_EQ(got, c.want) << c.name;
        if (!got.empty()) {
            const fs::path made = fs::path(gbkToUtf8(context.root) + got).parent_path();
            EXPECT_TRUE(fs::is_directory(made)) << c.name;
        }
    }
    // Two snapshots within one second share a name: the second overwrites the first.
    EXPECT_EQ(make(0, "粤B12345", "CH1 ", ".jpg"), make(0, "粤B12345", "CH1 ", ".jpg"));
}

TEST_F(StoragePathsTest, RootsThatCannotHoldFilesFail) {
    std::ofstream(dir / "plain-file") << "x";
    for (const std::string& root :
         {dir.string() + "/plain-file/", dir.string() + "/missing/deeper/"}) {
        context.root = root;
        std::string out = "unchanged";
        EXPECT_FALSE(ui::MakeFilePath(context, out, 0, "v", "CH1 ", ".jpg", 0)) << root;
        EXPECT_EQ(out, "unchanged");
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(StoragePathsTest, RootWithoutSeparatorAndNamesWithSlashesStayInside) {
    context.root = utf8ToGbk(dir.string() + "/媒体"); // typed without the trailing "/"
    EXPECT_EQ(make(0, "../../粤B/1", "CH1 ", ".jpg"),
              "/截图/2024-03-05/.._.._粤B_1_CH1 _2024-03-05 14.07.09.jpg");
    EXPECT_FALSE(fs::exists(dir / "媒体截图"));
}

} // namespace
