// The binary interface: libkaxil.so exports exactly the instrument functions (under names that
// encode their parameter types) and the compatibility items, needs nothing but libc, and lx9
// binds to it by name for exactly the 23 functions the program uses.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Symbol names from `nm -D` output (last field of every line).
std::set<std::string> symbols(const std::string& nmOutput) {
    std::set<std::string> names;
    std::istringstream in(nmOutput);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.find_last_of(' ');
        if (space != std::string::npos) names.insert(line.substr(space + 1));
    }
    return names;
}

const std::set<std::string> kProgramImports = {
    "_Z20GetCommunicateStatusv",  // GetCommunicateStatus()
    "_Z18GetFirmwareVersionv",
    "_Z18GetBatteryQuantityv",
    "_Z12SetLEDStatush",  // SetLEDStatus(unsigned char)
    "_Z11SetLeakInfov",
    "_Z17StartRecordHeightv",
    "_Z11StartSamplev",
    "_Z15GetSampleStatusv",
    "_Z15GetSampleHeightPtS_",  // (unsigned short*, unsigned short*)
    "_Z9GetHeighttPtS_",        // (unsigned short, unsigned short*, unsigned short*)
    "_Z14ReadSampleDatatPtS_",
    "_Z8ReadDatattPtS_",  // (unsigned short, unsigned short, unsigned short*, unsigned short*)
    "_Z9SetSampleh",
    "_Z8SetBeginh",
    "_Z6SetEndh",
    "_Z9SetHeightit",  // (int, unsigned short)
    "_Z3SetP19_Ctrl_Code_INFO_DLL",
    "_Z8SetPara119_Ctrl_SET1_INFO_DLL",  // by value
    "_Z8GetPara1P19_Ctrl_SET1_INFO_DLL",
    "_Z8SetPara219_Ctrl_SET2_INFO_DLL",
    "_Z8GetPara2P19_Ctrl_SET2_INFO_DLL",
    "_Z8SetPara3Phi",  // (unsigned char*, int)
    "_Z8GetPara3Phi",
};

const std::set<std::string> kUnused = {
    "_Z11GetMachTypev", "_Z9Reconnectv",  "_Z7fnKaxilv",       "nKaxil",
    "_ZN6CKaxilC1Ev",   "_ZN6CKaxilC2Ev", "_ZN6CKaxilaSERKS_",  // CKaxil(), operator=(CKaxil const&)
};

TEST(KaxilBinaryInterface, TheLibraryExportsExactlyTheInstrumentFunctions) {
    const auto exported = symbols(run("nm -D --defined-only '" KAXIL_LIBRARY "'"));
    std::set<std::string> expected = kProgramImports;
    expected.insert(kUnused.begin(), kUnused.end());
    EXPECT_EQ(exported, expected);
}

TEST(KaxilBinaryInterface, TheProgramImportsExactlyTheTwentyThree) {
    const auto exported = symbols(run("nm -D --defined-only '" KAXIL_LIBRARY "'"));
    const auto undefined = symbols(run("nm -D --undefined-only '" LX9_PROGRAM "'"));
    std::set<std::string> fromKaxil;
    for (const auto& name : undefined) {
        if (exported.count(name)) fromKaxil.insert(name);
    }
    EXPECT_EQ(fromKaxil.size(), 23u);
    EXPECT_EQ(fromKaxil, kProgramImports);
}

TEST(KaxilBinaryInterface, TheProgramNeedsTheLibraryByNameAndCanFindIt) {
    const std::string dynamic = run("readelf -d '" LX9_PROGRAM "'");
    EXPECT_NE(dynamic.find("Shared library: [libkaxil.so]"), std::string::npos) << dynamic;
    EXPECT_TRUE(dynamic.find("(RUNPATH)") != std::string::npos ||
                dynamic.find("(RPATH)") != std::string::npos);
    const std::string loaded = run("ldd '" LX9_PROGRAM "'");
    EXPECT_NE(loaded.find("libkaxil.so => /"), std::string::npos) << loaded;
}

TEST(KaxilBinaryInterface, TheLibraryNeedsNoCxxRuntimeAndNoOtherLibraryOfOurs) {
    const std::string dynamic = run("readelf -d '" KAXIL_LIBRARY "'");
    EXPECT_NE(dynamic.find("Library soname: [libkaxil.so]"), std::string::npos) << dynamic;
    EXPECT_NE(dynamic.find("Shared library: [libc.so.6]"), std::string::npos);
    for (const char* forbidden : {"libstdc++", "libQt", "lx9"}) {
        EXPECT_EQ(dynamic.find(forbidden), std::string::npos) << forbidden;
    }
}

}  // namespace
