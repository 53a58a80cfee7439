// The install tree and the packages: the game starts from any directory
// through its launcher, wherever the tree is moved.

#include "harness.hpp"


#include <algorithm>
#include <cstdlib>
#include <regex>

using namespace harness;

namespace {

// A program's full path, looked up in PATH when the name has no slash.
fs::path onPath(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* const pathVariable = std::getenv("PATH");
    const std::string path = pathVariable ? pathVariable : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size())
    {
        const size_t end = std::min(path.find(':', start), path.size());
        fs::path candidate = fs::path(path.substr(start, end - start)) / program;
        if (fs::exists(candidate))
            return candidate;
        start = end + 1;
    }
    return program;
}

// Runs a command to its end; its output is kept for failure messages.
struct Command
{
    Command(const std::vector<std::string>& words, const fs::path& workDir = fs::temp_directory_path(),
            double seconds = 300)
    {
        RunOptions options;
        options.args.assign(words.begin() + 1, words.end());
        Game run(onPath(words.front()), workDir, options);
        const auto status = run.waitExit(seconds);
        ok = status && describeStatus(*status) == "exit status 0";
        output = run.out() + run.err();
    }
    bool ok = false;
    std::string output;
};

fs::path installInto(const fs::path& prefix)
{
    const Command install({VORTHANE_CMAKE, "--install", VORTHANE_BINARY_DIR, "--prefix", prefix.string()});
    EXPECT_TRUE(install.ok) << install.output;
    return prefix;
}

// Starts the game through `launcher` from `workDir`, and ends it with Backspace.
void playAndQuit(const fs::path& launcher, const fs::path& workDir)
{
    Game game(launcher, workDir);
    const Window window = findGameWindow();
    ASSERT_NE(window, 0u) << game.out() << game.err();
    EXPECT_NE(game.out().find("favor this most sacred font"), std::string::npos) << game.out();
    const auto status = holdBackspaceUntilExit(game, window);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 0");
}

TEST(Install, TreeHoldsTheLauncherGameAssetsAndDesktopFiles)
{
    ScratchDir root;
    const fs::path prefix = installInto(root.path / "usr");
    const char* expected[] = {
        "bin/vorthane-run",
        "libexec/vorthane-run/vorthane-run",
        "libexec/vorthane-run/launch",
        "share/vorthane-run/VorthaneBoi.png",
        "share/vorthane-run/robotToFix.png",
        "share/vorthane-run/chintzy.ttf",
        "share/applications/vorthane-run.desktop",
        "share/icons/hicolor/64x64/apps/vorthane-run.png",
        "share/icons/hicolor/128x128/apps/vorthane-run.png",
        "share/icons/hicolor/256x256/apps/vorthane-run.png",
        "share/man/man6/vorthane-run.6.gz",
        "share/doc/vorthane-run/copyright",
    };
    for (const char* file : expected)
        EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    for (const char* program : {"bin/vorthane-run", "libexec/vorthane-run/vorthane-run", "libexec/vorthane-run/launch"})
        EXPECT_NE(fs::status(prefix / program).permissions() & fs::perms::owner_exec, fs::perms::none) << program;
    EXPECT_FALSE(fs::exists(prefix / "bin/launch")) << "only the launcher belongs on PATH";

    const Command validate({"desktop-file-validate", (prefix / "share/applications/vorthane-run.desktop").string()});
    EXPECT_TRUE(validate.ok) << validate.output;
    EXPECT_EQ(validate.output, "") << "warnings or hints from desktop-file-validate";
}

TEST(Install, MovedTreeStartsThroughASymlinkFromAnyDirectory)
{
    ScratchDir root;
    // A space and an apostrophe in every path the launcher must quote.
    installInto(root.path / "Vorthane's first home");
    const fs::path moved = root.path / "moved, Tamsk's games";
    fs::rename(root.path / "Vorthane's first home", moved);
    fs::create_directory(root.path / "links");
    const fs::path link = root.path / "links" / "vorthane";
    fs::create_symlink(moved / "bin" / "vorthane-run", link);
    ScratchDir elsewhere;

    playAndQuit(moved / "bin" / "vorthane-run", elsewhere.path);
    playAndQuit(link, elsewhere.path);
}

TEST(Install, LauncherRefusesClearlyWithoutADisplay)
{
    ScratchDir root;
    const fs::path prefix = installInto(root.path / "p");
    RunOptions noDisplay;
    noDisplay.withDisplay = false;
    Game launch(prefix / "bin" / "vorthane-run", root.path, noDisplay);
    const auto status = launch.waitExit(20);
    ASSERT_TRUE(status);
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_NE(launch.err().find("no X display is reachable"), std::string::npos) << launch.err();
    EXPECT_NE(launch.err().find("'xvfb-run -s \"-screen 0 1920x1080x24\" vorthane-run'"), std::string::npos)
        << "it names the installed command: " << launch.err();
    EXPECT_EQ(launch.out(), "");
}

TEST(Install, FromTheMenuAFailureShowsInADialogAndOtherArgumentsAreRefused)
{
    ScratchDir root;
    const fs::path prefix = installInto(root.path / "p");
    fs::remove(prefix / "share/vorthane-run/robotToFix.png");

    // As the desktop entry starts it.
    const std::string desktopEntry = readFile(prefix / "share/applications/vorthane-run.desktop");
    EXPECT_NE(desktopEntry.find("\nExec=vorthane-run --desktop\n"), std::string::npos) << desktopEntry;
    RunOptions menu;
    menu.args = {"--desktop"};
    Game launch(prefix / "bin" / "vorthane-run", root.path, menu);
    const Window dialog = findGameWindow();
    ASSERT_NE(dialog, 0u) << "no dialog: " << launch.out() << launch.err();
    const auto status = answerDialog(launch, dialog);
    ASSERT_TRUE(status) << "the dialog did not close";
    EXPECT_EQ(describeStatus(*status), "exit status 1");
    EXPECT_NE(launch.out().find("robot sprite doesn't work!"), std::string::npos) << launch.out();

    RunOptions wrong;
    wrong.args = {"--fullscreen"};
    Game refused(prefix / "bin" / "vorthane-run", root.path, wrong);
    const auto refusal = refused.waitExit(20);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(describeStatus(*refusal), "exit status 2");
    EXPECT_NE(refused.err().find("usage: vorthane-run [--desktop]"), std::string::npos) << refused.err();
}

// The package files list `dpkg-deb -c` or `tar -tzf` prints, as one string.
std::string listing(const std::vector<std::string>& command)
{
    const Command list(command);
    EXPECT_TRUE(list.ok) << list.output;
    return list.output;
}

fs::path findPackage(const fs::path& dir, const std::string& suffix)
{
    for (const auto& entry : fs::directory_iterator(dir))
    {
        const std::string fileName = entry.path().filename().string();
        if (fileName.size() > suffix.size() && fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0)
            return entry.path();
    }
    return {};
}

class Package : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        out = new ScratchDir;
        const Command cpack({VORTHANE_CPACK, "--config", std::string(VORTHANE_BINARY_DIR) + "/CPackConfig.cmake", "-B",
                             out->path.string()},
                            out->path);
        ASSERT_TRUE(cpack.ok) << cpack.output;
        deb = findPackage(out->path, ".deb");
        tgz = findPackage(out->path, ".tar.gz");
    }
    static void TearDownTestSuite() { delete out; }

    static ScratchDir* out;
    static fs::path deb, tgz;
};
ScratchDir* Package::out = nullptr;
fs::path Package::deb;
fs::path Package::tgz;

TEST_F(Package, DebHoldsTheTreeUnderUsrAndDeclaresItsLibraries)
{
    ASSERT_FALSE(deb.empty()) << "cpack made no .deb";
    const std::string files = listing({"dpkg-deb", "-c", deb.string()});
    for (const char* file : {"./usr/bin/vorthane-run", "./usr/libexec/vorthane-run/vorthane-run",
                             "./usr/libexec/vorthane-run/launch", "./usr/share/vorthane-run/VorthaneBoi.png",
                             "./usr/share/vorthane-run/robotToFix.png", "./usr/share/vorthane-run/chintzy.ttf",
                             "./usr/share/applications/vorthane-run.desktop",
                             "./usr/share/icons/hicolor/64x64/apps/vorthane-run.png",
                             "./usr/share/doc/vorthane-run/copyright", "./usr/share/doc/vorthane-run/changelog.gz"})
        EXPECT_NE(files.find(file), std::string::npos) << file << " missing from\n" << files;

    const std::string depends = listing({"dpkg-deb", "-f", deb.string(), "Depends"});
    // Generated from what the game links: SFML's graphics library, in
    // whichever version this distribution ships (2.5 on Debian 12, 2.6 on 13).
    EXPECT_TRUE(std::regex_search(depends, std::regex(R"((^|, )libsfml-graphics[0-9][0-9.]*( |,|$))"))) << depends;
}

TEST_F(Package, LintianFindsNoErrorsInTheDeb)
{
    ASSERT_FALSE(deb.empty());
    RunOptions options;
    options.args = {"--tag-display-limit", "0", deb.string()};
    Game lintian(onPath("lintian"), out->path, options);
    ASSERT_TRUE(lintian.waitExit(300));
    const std::string report = lintian.out() + lintian.err();
    EXPECT_EQ(report.find("\nE: "), std::string::npos) << report;
    EXPECT_NE(report.rfind("E: ", 0), 0u) << report;
}

TEST_F(Package, TarballHoldsTheSameTree)
{
    ASSERT_FALSE(tgz.empty()) << "cpack made no .tar.gz";
    const std::string files = listing({"tar", "-tzf", tgz.string()});
    for (const char* file : {"/bin/vorthane-run", "/libexec/vorthane-run/vorthane-run", "/share/vorthane-run/chintzy.ttf",
                             "/share/applications/vorthane-run.desktop"})
        EXPECT_NE(files.find(file), std::string::npos) << file << " missing from\n" << files;
}

// Installs the .deb for real: only where the machine is ours to change (CI).
TEST_F(Package, DebInstallsAndStartsFromAnyDirectory)
{
    if (std::getenv("VORTHANE_TEST_DEB_INSTALL") == nullptr)
        GTEST_SKIP() << "set VORTHANE_TEST_DEB_INSTALL=1 to install the package on this machine";
    ASSERT_FALSE(deb.empty());
    const Command install({"/usr/bin/apt-get", "install", "-y", "-q", "--no-install-recommends", deb.string()});
    ASSERT_TRUE(install.ok) << install.output;
    ScratchDir elsewhere;
    playAndQuit("/usr/bin/vorthane-run", elsewhere.path);
    const Command remove({"/usr/bin/apt-get", "remove", "-y", "-q", "vorthane-run"});
    EXPECT_TRUE(remove.ok) << remove.output;
    EXPECT_FALSE(fs::exists("/usr/bin/vorthane-run"));
}

} // namespace
