// Tests of QVRTranslator: folder scans with several languages and foreign
// files, loading by name, index and path, missing strings, damaged files, and
// files compiled by the qvrlang tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "qvr3d/core.h"
#include "qvr3d/translator.h"
#include "tests/common/tmpdir.h"

namespace {

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A well-formed language file; a null entry is a missing string.
std::string LangFile(const std::string& name, const std::vector<const char*>& strings) {
  std::string lengths, data;
  for (const char* s : strings) {
    const size_t length = s ? std::strlen(s) + 1 : 0;
    lengths += static_cast<char>(length & 0xFF);
    lengths += static_cast<char>(length >> 8);
    if (s) data.append(s, length);
  }
  std::string out = "LanG";
  out += '\0';
  out += static_cast<char>(name.size() + 1);
  out += name;
  out += '\0';
  const uint32_t tableAt = static_cast<uint32_t>(out.size() + 16);
  Put32(out, static_cast<uint32_t>(strings.size()));
  Put32(out, tableAt);
  Put32(out, tableAt + static_cast<uint32_t>(lengths.size()));
  Put32(out, static_cast<uint32_t>(data.size()));
  return out + lengths + data;
}

// Overwrites the 32-bit field `index` (0 A, 1 B, 2 C, 3 D) of a file built
// by LangFile.
std::string WithField(std::string file, int index, uint32_t value) {
  const size_t at = 6 + static_cast<unsigned char>(file[5]) + 4 * index;
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return file;
}

class CurrentDir {
 public:
  explicit CurrentDir(const std::string& path) : m_old(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~CurrentDir() { std::filesystem::current_path(m_old); }

 private:
  std::filesystem::path m_old;
};

// A folder with two languages and files that are not languages.
class TranslatorFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    m_langs = m_root / "langs";
    std::filesystem::create_directory(m_langs);
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + "english.lng",
                                  LangFile("English", {"Hello", "Good bye", nullptr, "Score"})));
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + "french.LNG", LangFile("Fran\xE7"
                                                                    "ais",
                                                                    {"Bonjour", "Au revoir"})));
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + "readme.txt", "not a language\n"));
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + "wrong.lng", "LANG\0\2x\0"));
    std::string noName = LangFile("x", {"a"});
    noName[5] = 0;
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + "noname.lng", noName));
    ASSERT_TRUE(qvrtest::WriteAll(m_langs + qvrtest::kSeparator + ".hidden.lng", LangFile("Hidden", {"h"})));
    std::filesystem::create_directory(m_langs + qvrtest::kSeparator + "folder.lng");
  }

  qvrtest::TempDir m_root;
  std::string m_langs;
};

}  // namespace

TEST_F(TranslatorFolder, InitListsOnlyLanguageFiles) {
  QVRTranslator tr;
  EXPECT_EQ(tr.Init(m_langs.c_str(), ".lng"), 2);  // the pattern ignores case
  EXPECT_EQ(tr.GetLangName(2), nullptr);
  EXPECT_EQ(tr.GetLangFile(2), nullptr);
  std::vector<std::string> names = {tr.GetLangName(0), tr.GetLangName(1)};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"English",
                                             "Fran\xE7"
                                             "ais"}));
  for (unsigned i = 0; i < 2; ++i) {
    const std::string file = tr.GetLangFile(i);
    EXPECT_EQ(file.rfind(m_langs + qvrtest::kSeparator, 0), 0u) << file;
  }
  EXPECT_EQ(tr.Init(m_langs.c_str(), nullptr), 2);  // readme.txt is read and refused
  EXPECT_EQ(tr.Init(m_langs.c_str(), ".txt"), 0);
  EXPECT_EQ(tr.Init("", ".lng"), 0);
  EXPECT_EQ(tr.Init(nullptr, ".lng"), 0);
  EXPECT_EQ(tr.Init((m_langs + qvrtest::kSeparator + "missing").c_str(), ".lng"), 0);

  // Relative folders: a name, "." and "..".
  {
    CurrentDir cd(m_root.path());
    EXPECT_EQ(tr.Init("langs", ".lng"), 2);
    EXPECT_EQ(std::string(tr.GetLangFile(0)).rfind(m_langs + qvrtest::kSeparator, 0), 0u);
  }
  {
    CurrentDir cd(m_langs);
    EXPECT_EQ(tr.Init(".", ".lng"), 2);
    EXPECT_EQ(tr.Init("..", ".lng"), 0);
    CurrentDir deeper(m_langs + qvrtest::kSeparator + "folder.lng");
    EXPECT_EQ(tr.Init("..", ".lng"), 2);
  }

  std::unique_ptr<char[]> name(tr.CheckLang((m_langs + qvrtest::kSeparator + "english.lng").c_str()));
  EXPECT_STREQ(name.get(), "English");
  EXPECT_EQ(tr.CheckLang((m_langs + qvrtest::kSeparator + "wrong.lng").c_str()), nullptr);
  EXPECT_EQ(tr.CheckLang((m_langs + qvrtest::kSeparator + "noname.lng").c_str()), nullptr);
  EXPECT_EQ(tr.CheckLang((m_langs + qvrtest::kSeparator + "nothing.lng").c_str()), nullptr);
}

TEST_F(TranslatorFolder, LoadByNameIndexAndPath) {
  QVRTranslator tr;
  EXPECT_FALSE(tr.LoadName("English"));  // nothing listed yet
  EXPECT_EQ(tr.GetCurName(), nullptr);
  EXPECT_STREQ(tr.GetString(0), "String #0");
  ASSERT_EQ(tr.Init(m_langs.c_str(), ".lng"), 2);

  ASSERT_TRUE(tr.LoadName("English"));
  EXPECT_STREQ(tr.GetCurName(), "English");
  EXPECT_EQ(tr.GetCurFile(), m_langs + qvrtest::kSeparator + "english.lng");
  EXPECT_EQ(tr.GetStringCount(), 4u);
  EXPECT_STREQ(tr.GetString(0), "Hello");
  EXPECT_STREQ(tr.GetString(1), "Good bye");
  EXPECT_EQ(tr.GetString(2), nullptr);  // length 0 in the table
  EXPECT_STREQ(tr.GetString(3), "Score");
  EXPECT_STREQ(tr.GetString(4), "String #4");
  EXPECT_STREQ(tr.GetString(4000000000u), "String #-294967296");

  // Another case is a file name in the current directory; none there.
  EXPECT_FALSE(tr.LoadName("english"));
  EXPECT_STREQ(tr.GetCurName(), "English");
  {
    // Loading a listed file by its path finds its record.
    CurrentDir cd(m_langs);
    ASSERT_TRUE(tr.LoadName("french.LNG"));
    EXPECT_STREQ(tr.GetCurName(),
                 "Fran\xE7"
                 "ais");
    EXPECT_STREQ(tr.GetString(1), "Au revoir");
  }

  const unsigned english = std::strcmp(tr.GetLangName(0), "English") == 0 ? 0 : 1;
  EXPECT_FALSE(tr.Load(nullptr, 2));
  ASSERT_TRUE(tr.Load(nullptr, english));
  EXPECT_STREQ(tr.GetString(0), "Hello");

  // A file outside the list: the name comes from the file.
  const std::string other = m_root / "german.dat";
  ASSERT_TRUE(qvrtest::WriteAll(other, LangFile("Deutsch", {"Hallo"})));
  ASSERT_TRUE(tr.Load(other.c_str(), 0));
  EXPECT_STREQ(tr.GetCurName(), "Deutsch");
  EXPECT_STREQ(tr.GetString(0), "Hallo");
  {
    CurrentDir cd(m_root.path());
    ASSERT_TRUE(tr.Load("langs\\english.lng", 99));  // Windows separators work too
    EXPECT_STREQ(tr.GetCurName(), "English");
  }

  // Forgetting the list keeps the loaded language and its name.
  tr.DeleteFileArray();
  EXPECT_EQ(tr.GetLangName(0), nullptr);
  EXPECT_STREQ(tr.GetCurName(), "English");
  EXPECT_STREQ(tr.GetString(3), "Score");
  tr.DeleteStringArray();
  EXPECT_EQ(tr.GetCurName(), nullptr);
  EXPECT_EQ(tr.GetCurFile(), nullptr);
  EXPECT_STREQ(tr.GetString(0), "String #0");
}

TEST_F(TranslatorFolder, DamagedFilesKeepTheCurrentLanguage) {
  QVRTranslator tr;
  const std::string good = m_langs + qvrtest::kSeparator + "english.lng";
  ASSERT_TRUE(tr.Load(good.c_str(), 0));
  EXPECT_EQ(tr.CheckLang((m_langs + qvrtest::kSeparator + "wrong.lng").c_str()), nullptr);

  const std::string base = LangFile("Bad", {"abc", "defg"});
  const std::string path = m_root / "bad.lng";
  const std::vector<std::string> refused = {
      "",
      "LanG",
      base.substr(0, 12),                                // header cut inside the fields
      base.substr(0, base.size() - 1),                   // data cut short
      WithField(base, 0, 0x7FFFFFFFu),                   // count past the end
      WithField(base, 0, 0xFFFFFFFFu),                   // count whose table size wraps 32 bits
      WithField(base, 1, 0xFFFFFFF0u),                   // table offset past the end
      WithField(base, 2, 0xFFFFFFF0u),                   // data offset past the end
      WithField(base, 3, 0x10000u),                      // data size past the end
      WithField(WithField(base, 2, 8), 3, 0xFFFFFFFAu),  // offset + size wraps
  };
  for (const std::string& bytes : refused) {
    ASSERT_TRUE(qvrtest::WriteAll(path, bytes));
    EXPECT_FALSE(tr.Load(path.c_str(), 0)) << bytes.size();
    EXPECT_STREQ(tr.GetCurName(), "English");
    EXPECT_STREQ(tr.GetString(0), "Hello");
  }
  EXPECT_FALSE(tr.Load((m_langs + qvrtest::kSeparator + "nothing.lng").c_str(), 0));
  EXPECT_FALSE(tr.Load((m_langs + qvrtest::kSeparator + "noname.lng").c_str(), 0));

  // Lengths adding up past the data block: those strings are not handed out.
  std::string overlong = base;
  const size_t table = 6 + 4 + 16;
  overlong[table + 2] = 9;  // "defg" claims 9 bytes of the 9-byte block after "abc"
  ASSERT_TRUE(qvrtest::WriteAll(path, overlong));
  ASSERT_TRUE(tr.Load(path.c_str(), 0));
  EXPECT_STREQ(tr.GetString(0), "abc");
  EXPECT_EQ(tr.GetString(1), nullptr);

  // A string without its terminator stops at the end of its own length.
  std::string unterminated = base;
  unterminated[unterminated.size() - 6] = 'C';  // the 0 after "abc"
  ASSERT_TRUE(qvrtest::WriteAll(path, unterminated));
  ASSERT_TRUE(tr.Load(path.c_str(), 0));
  EXPECT_STREQ(tr.GetString(0), "abc");
  EXPECT_STREQ(tr.GetString(1), "defg");

  // An empty language is a valid file.
  ASSERT_TRUE(qvrtest::WriteAll(path, LangFile("Empty", {})));
  ASSERT_TRUE(tr.Load(path.c_str(), 0));
  EXPECT_EQ(tr.GetStringCount(), 0u);
  EXPECT_STREQ(tr.GetString(0), "String #0");
}

TEST_F(TranslatorFolder, SingletonAndPrintInfo) {
  QVRTranslator* tr = QVRTranslator::Singleton();
  EXPECT_EQ(QVRTranslator::Singleton(), tr);
  {
    QVRTranslator other;  // a second object does not take the singleton away
  }
  EXPECT_EQ(QVRTranslator::Singleton(), tr);
  EXPECT_TRUE(tr->IsAbsolute("C:\\games"));
  EXPECT_TRUE(tr->IsAbsolute("\\games"));
  EXPECT_TRUE(tr->IsAbsolute("/games"));
  EXPECT_FALSE(tr->IsAbsolute("C:/games"));
  EXPECT_FALSE(tr->IsAbsolute("games"));
  char* part = tr->StrCopy("hello", 1, 3);
  EXPECT_STREQ(part, "ell");
  delete[] part;

  const std::string log = m_root / "log.txt";
  const unsigned level = QVR::GetLogLevel();
  QVR::SetLogLevel(255);
  ASSERT_TRUE(QVR::SetLogTarget(2, log.c_str()));
  tr->PrintInfo(true);
  ASSERT_EQ(tr->Init(m_langs.c_str(), ".lng"), 2);
  ASSERT_TRUE(tr->LoadName("English"));
  tr->PrintInfo(true);
  QVR::CloseLog();
  QVR::SetLogLevel(level);
  const std::string files = "-[0] " + std::string(tr->GetLangName(0)) + " (" + tr->GetLangFile(0) +
                            ")\n-[1] " + tr->GetLangName(1) + " (" + tr->GetLangFile(1) + ")\n";
  EXPECT_EQ(qvrtest::ReadAll(log),
            "No file loaded.\n"
            "Path : " +
                m_langs + qvrtest::kSeparator + "\nFiles:\n" + files + "Lang file : " + m_langs +
                qvrtest::kSeparator + "english.lng\nLanguage  : English\nStrings   : 4\n"
                "Strings:\n-[0] Hello\n-[1] Good bye\n-[2] \n-[3] Score\n");
  delete tr;
  EXPECT_NE(QVRTranslator::Singleton(), nullptr);
  delete QVRTranslator::Singleton();
}

// Compiles a source with the qvrlang tool and reads it back through the
// translator. Skipped when the tool was not built alongside.
TEST(TranslatorTool, CompiledFilesLoad) {
#if defined(_WIN32)
  std::string tool = std::string(QVR_TEST_BINARY_DIR) + "/tools/qvrlang.exe";
  for (char& c : tool)
    if (c == '/') c = '\\';
  const char* quiet = " 2>NUL";
  const int runnable = F_OK;  // the C runtime knows no execute permission
#else
  const std::string tool = std::string(QVR_TEST_BINARY_DIR) + "/tools/qvrlang";
  const char* quiet = " 2>/dev/null";
  const int runnable = X_OK;
#endif
  if (access(tool.c_str(), runnable) != 0) GTEST_SKIP() << "qvrlang not built";
  qvrtest::TempDir dir;
  ASSERT_TRUE(qvrtest::WriteAll(dir / "en.txt",
                                "# Menu texts\n"
                                "@name English\n"
                                "0 New game\n"
                                "1\tTwo\\nlines\\tand a tab \\\\ backslash\n"
                                "5 \\sIndented and trailing\\s\n"
                                "3\n"));
  const std::string command =
      tool + " build " + dir / "en.txt" + " -o " + dir / "en.lng" + quiet;
  ASSERT_EQ(std::system(command.c_str()), 0);
  QVRTranslator tr;
  ASSERT_EQ(tr.Init(dir.path().c_str(), ".lng"), 1);
  ASSERT_TRUE(tr.LoadName("English"));
  EXPECT_EQ(tr.GetStringCount(), 6u);
  EXPECT_STREQ(tr.GetString(0), "New game");
  EXPECT_STREQ(tr.GetString(1), "Two\nlines\tand a tab \\ backslash");
  EXPECT_EQ(tr.GetString(2), nullptr);
  EXPECT_STREQ(tr.GetString(3), "");
  EXPECT_EQ(tr.GetString(4), nullptr);
  EXPECT_STREQ(tr.GetString(5), " Indented and trailing ");
  EXPECT_STREQ(tr.GetString(6), "String #6");
}
