// Outputs written through a scratch file: a reader finds the old file or
// the whole new one, never a part; a failed write is said and leaves the
// old file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "job/output_file.h"
#include "machine_fixture.h"

namespace fs = std::filesystem;

TEST(OutputFile, ReplacesWholeOrNotAtAll)
{
    JobFolder dir;  // a scratch folder (it holds the binary too)
    const std::string path = dir.path() + "/Vemtrac.sts";
    {
        std::FILE* old = std::fopen(path.c_str(), "wb");
        std::fputs("old", old);
        std::fclose(old);
    }
    std::string why;
    OutputFile out;
    ASSERT_TRUE(out.open(path, &why)) << why;
    out.write("new lines");
    EXPECT_EQ(read_all(path), "old");  // nothing shows before the commit
    ASSERT_TRUE(out.commit(&why)) << why;
    EXPECT_EQ(read_all(path), "new lines");

    OutputFile dropped;
    ASSERT_TRUE(dropped.open(path, &why));
    dropped.write("half");
    dropped.discard();
    EXPECT_EQ(read_all(path), "new lines");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 2);  // no scratch file left

    // A full disk: the failure is said, at the latest when closing.
    OutputFile full;
    ASSERT_TRUE(full.open("/dev/full", &why));
    full.write(std::string(100000, 'x'));
    EXPECT_FALSE(full.commit(&why));
    EXPECT_EQ(why, "No space left on device");

    OutputFile nowhere;
    EXPECT_FALSE(nowhere.open(dir.path() + "/no/such/folder/x.svg", &why));
    EXPECT_FALSE(nowhere.open(dir.path(), &why));
    EXPECT_EQ(why, "it is a folder");
}
