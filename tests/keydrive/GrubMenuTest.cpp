// The UEFI menu made from syslinux.cfg: the worked examples' files, and hostile files read
// back the way GRUB's parser reads a script, so that whatever a label, a say line, a long
// name or a boot line holds, GRUB runs only the commands the translation writes.
#include <gtest/gtest.h>

#include <set>

#include "bootconfig/GrubMenu.h"
#include "tests/support/BootMenuTexts.h"

namespace {

// What GRUB would run: the words of each command, split at blanks outside quotes; single
// quotes keep everything, double quotes and backslashes as GRUB takes them; a newline, ';',
// '{' or '}' outside quotes ends a command; '#' at a word's start begins a comment.
// `expands` counts commands with a '$' outside single quotes, `metas` the characters
// (| & < >) that GRUB's parser reserves.
struct Script {
    std::vector<std::vector<std::string>> commands;
    int expands = 0;
    int metas = 0;
};

Script Parse(const std::string& text)
{
    Script script;
    std::vector<std::string> command;
    std::string word;
    bool inWord = false, expands = false;
    char quote = 0;
    auto endWord = [&] {
        if (inWord)
            command.push_back(word);
        word.clear();
        inWord = false;
    };
    auto endCommand = [&] {
        endWord();
        if (!command.empty())
            script.commands.push_back(command);
        script.expands += expands;
        command.clear();
        expands = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool escaped = c == '\\' && i + 1 < text.size() && quote != '\'';
        if (escaped || (quote && c != quote)) {
            expands |= c == '$' && quote != '\'';
            word += escaped ? text[++i] : c;
        } else if (c == '\'' || c == '"') {
            quote = quote ? 0 : c;
            inWord = true;
        } else if (c == '#' && !inWord) {
            i = std::min(text.find('\n', i), text.size()) - 1;
        } else if (c == '\n' || c == ';' || c == '{' || c == '}') {
            endCommand();
        } else if (c == ' ' || c == '\t') {
            endWord();
        } else {
            expands |= c == '$';
            script.metas += c == '|' || c == '&' || c == '<' || c == '>';
            word += c;
            inWord = true;
        }
    }
    endCommand();
    return script;
}

// Every command is one the translation writes, with nothing GRUB takes for an option where
// text stands; the titles in order and the commands of one kind are handed back.
std::vector<std::vector<std::string>> Only(const Script& script, const std::string& name)
{
    std::vector<std::vector<std::string>> found;
    for (const auto& command : script.commands)
        if (command[0] == name)
            found.push_back(std::vector<std::string>(command.begin() + 1, command.end()));
    return found;
}

void ExpectOnlyOwnCommands(const std::string& grub)
{
    Script script = Parse(grub);
    EXPECT_EQ(script.expands, 1) << "only the root line reads a variable\n" << grub;
    EXPECT_EQ(script.metas, 0) << grub;
    ASSERT_FALSE(script.commands.empty());
    EXPECT_EQ(script.commands[0], (std::vector<std::string>{"regexp", "--set=1:root", "^\\(([^)]*)\\)", "$cmdpath"}));
    for (size_t i = 1; i < script.commands.size(); ++i) {
        const auto& command = script.commands[i];
        static const std::set<std::string> own = {"set", "echo", "sleep", "menuentry", "linux", "initrd"};
        EXPECT_TRUE(own.count(command[0])) << command[0];
        if (command[0] == "menuentry" || command[0] == "echo") {
            EXPECT_TRUE(command.size() == 2 && command[1][0] != '-') << command[1];
        }
        if (command[0] == "set") {
            EXPECT_TRUE(command.size() == 2 && (command[1].rfind("default=", 0) == 0 || command[1].rfind("timeout=", 0) == 0));
        }
    }
}

std::vector<std::string> Titles(const std::string& grub)
{
    std::vector<std::string> titles;
    for (const auto& arguments : Only(Parse(grub), "menuentry"))
        titles.push_back(arguments.at(0));
    return titles;
}

const std::string kFresh = "#zentaq\ndefault flash\n" + kHeader;
const std::string kFlashTitle = "Korvel Firmware Flash Utility";

TEST(GrubMenuTest, TheWorkedExamples)
{
    // 2: the flash package and a floppy image; 1 is its first entry alone.
    std::string grub = GrubMenuFromSyslinux(kFresh + kFlashBlock + kDosBlock, kStars + kFlashEntry + kDosEntry + kStars);
    ExpectOnlyOwnCommands(grub);
    std::string dosBody = grub.substr(grub.find("menuentry 'DOS boot disk' {\n"));
    EXPECT_EQ(grub.substr(grub.find("set default")),
              "set default=0\nset timeout=3\n"
              "echo 'Korvel Firmware Maintenance (press F1 for extended boot options)'\n"
              "echo 'Korvel notice: keep the key in and the power on until flashing is done.'\n"
              "sleep --interruptible 2\n"
              "menuentry 'Korvel Firmware Flash Utility' {\n"
              "\tlinux /vmlinuz rw noht root=/dev/ram0 ramdisk_size=56320 init=/sos quiet=1 ide=nodma noapic\n"
              "\tinitrd /initrd.img\n}\n" +
                  dosBody);
    EXPECT_NE(dosBody.find("legacy BIOS mode"), std::string::npos) << dosBody;
    EXPECT_EQ(Only(Parse(dosBody), "sleep"), (std::vector<std::vector<std::string>>{{"--interruptible", "30"}}));
    EXPECT_TRUE(Only(Parse(dosBody), "linux").empty()) << "MEMDISK cannot start under UEFI";
    EXPECT_EQ(Titles(GrubMenuFromSyslinux(kFresh + kFlashBlock, kStars + kFlashEntry + kStars)),
              std::vector<std::string>{kFlashTitle});

    // 3: the floppy alone is the default; it cannot start here, so the menu waits.
    grub = GrubMenuFromSyslinux("#zentaq\ndefault dos\n" + kHeader + kDosBlock, kStars + kDosEntry + kStars);
    EXPECT_NE(grub.find("set default=0\nset timeout=-1\n"), std::string::npos) << grub;

    // 4: the flash block moved after the floppy's; the default follows it.
    grub = GrubMenuFromSyslinux(kFresh + kDosBlock + kFlashBlock, kStars + kDosEntry + kFlashEntry + kStars);
    EXPECT_EQ(Titles(grub), (std::vector<std::string>{"DOS boot disk", kFlashTitle}));
    EXPECT_NE(grub.find("set default=1\nset timeout=3\n"), std::string::npos) << grub;
}

TEST(GrubMenuTest, NothingInAHostileFileBecomesAGrubCommand)
{
    std::string longLabel(100000, 'A'), longWord = "x=" + std::string(100000, 'y');
    std::string config =
        "DEFAULT evil\r\nTimeout 25\r\n"
        "SAY it's $HOME; reboot \\ \"done\" {x}\r\nsay --source=reboot\n"
        "LABEL evil\r\n  KERNEL vmlinuz\r\n  APPEND initrd=initrd.img a=$(reboot) b;halt c|d {e} #f\r\n"
        "label quoted\n  kernel vmlinuz\n  append initrd=initrd.img x=\"a b\"\n"
        "label escaped\n  kernel vmlinuz\n  append initrd=initrd.img x=a\\b\n"
        "label up\n  kernel ../vmlinuz\n  append initrd=initrd.img\n"
        "label folder\n  kernel vmlinuz\n  append initrd=/boot/x.img\n"
        "label device\n  kernel (hd1,1)/vmlinuz\n  append initrd=initrd.img\n"
        "label dots\n  kernel ..\n  append initrd=initrd.img\n"
        "label two\n  kernel vmlinuz extra\n  append initrd=initrd.img\n"
        "label kernelonly\n  kernel vmlinuz\n  append quiet\n"
        "label\n  kernel vmlinuz\n  append initrd=initrd.img\n"
        "label opt\n  linux vmlinuz\n  initrd a.img,b.img\n"
        "label nul" + std::string(1, '\0') + "x\n  kernel vmlinuz\n  append initrd=i.img\n"
        "label " + longLabel + "\n  kernel vmlinuz\n  append initrd=initrd.img " + longWord + "\n"
        "label evil\n  kernel\nvmlinuz\n  append initrd=initrd.img\n";
    std::string menu = kStars + "        evil          - Bob's disk'; reboot; echo '\r\n" +
                       "        opt           - --source=reboot\n" + kStars;
    std::string grub = GrubMenuFromSyslinux(config, menu);
    ExpectOnlyOwnCommands(grub);

    Script script = Parse(grub);
    EXPECT_EQ(Titles(grub), (std::vector<std::string>{"Bob's disk'; reboot; echo '", " --source=reboot", "nul?x", longLabel}));
    EXPECT_EQ(Only(script, "echo").at(0), std::vector<std::string>{"it's $HOME; reboot \\ \"done\" {x}"});
    EXPECT_EQ(Only(script, "echo").at(1), std::vector<std::string>{" --source=reboot"});
    auto kernels = Only(script, "linux");
    ASSERT_EQ(kernels.size(), 4u);
    EXPECT_EQ(kernels[0], (std::vector<std::string>{"/vmlinuz", "a=$(reboot)", "b;halt", "c|d", "{e}", "#f"}));
    EXPECT_EQ(kernels[3], (std::vector<std::string>{"/vmlinuz", longWord}));
    EXPECT_EQ(Only(script, "initrd").at(1), (std::vector<std::string>{"/a.img", "/b.img"}));
    EXPECT_NE(grub.find("set default=0\nset timeout=3\n"), std::string::npos);
}

TEST(GrubMenuTest, TimeoutsInSecondsAndDefaultsByNumber)
{
    struct Case {
        std::string lines;
        std::string expected;
    } cases[] = {
        {"timeout 30\n", "set default=0\nset timeout=3\n"},
        {"timeout 31\n", "set default=0\nset timeout=4\n"},
        {"timeout 1\n", "set default=0\nset timeout=1\n"},
        {"timeout 0\n", "set default=0\nset timeout=-1\n"},   // SYSLINUX waits for a choice
        {"", "set default=0\nset timeout=-1\n"},
        {"timeout 99999999999999999999999\n", "set default=0\nset timeout=3600\n"},
        {"timeout 30\ndefault nothing\n", "\"$cmdpath\"\nset timeout=3\n"},   // no such label: GRUB's first
    };
    for (const Case& c : cases) {
        std::string grub = GrubMenuFromSyslinux("default flash\n" + c.lines + kFlashBlock, "");
        EXPECT_NE(grub.find(c.expected), std::string::npos) << c.lines << grub;
        EXPECT_EQ(Titles(grub), std::vector<std::string>{"flash"}) << "no menu.msg: the label";
    }
}

}  // namespace
