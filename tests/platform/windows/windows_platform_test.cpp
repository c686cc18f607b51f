// The Windows platform services, run under wine on Xvfb: Polish names through
// every call, the private working directory, the registry, the shell with a
// program and with a document handler registered for the user, window search
// and the Yes/No box pressed like a user would.
#include "platform/directories.h"
#include "platform/platform.h"
#include "platform/windows/wide_text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::windows::narrow;
using platform::windows::widen;

std::wstring wide(const std::string &text) {
  std::wstring result;
  EXPECT_TRUE(widen(text, result)) << text;
  return result;
}

void writeFile(const std::string &path, const std::string &content) {
  FILE *out = _wfopen(wide(path).c_str(), L"wb");
  ASSERT_NE(out, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), out);
  std::fclose(out);
}

std::string readFile(const std::string &path) {
  std::string content;
  platform::readRegularFile(path, 1 << 20, content);
  return content;
}

// Dispatches this thread's messages until `done` holds or ten seconds pass.
bool pumpUntil(const std::function<bool()> &done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

std::string buildFolder() {
  wchar_t own[MAX_PATH];
  std::string path = narrow(std::wstring(own, GetModuleFileNameW(nullptr, own, MAX_PATH)));
  return path.substr(0, path.find_last_of('\\') + 1);
}

std::string probeProgram() { return buildFolder() + "velmora_probe.exe"; }

// Presses a button of the question box titled `title` once it is shown.
void pressButtonOfBox(const std::string &title, int button) {
  HWND box = nullptr;
  ASSERT_TRUE(pumpUntil([&] { return (box = FindWindowW(L"#32770", wide(title).c_str())) != nullptr; }));
  ASSERT_NE(GetDlgItem(box, IDYES), nullptr);
  ASSERT_NE(GetDlgItem(box, IDNO), nullptr);
  PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
}

// A fresh folder with a Polish name in the user's temporary folder.
class WindowsPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = platform::temporaryFolder() + "\\Zażółć gęślą jaźń " + std::to_string(GetTickCount64());
    ASSERT_EQ(platform::createPrivateDirectory(folder_), platform::DirectoryCreation::Created);
  }
  void TearDown() override { platform::removeDirectoryTree(folder_); }
  std::string folder_;
};

TEST_F(WindowsPlatformTest, FilesKeepPolishNamesAndNeverOverwrite) {
  const std::string source = folder_ + "\\źródło.txt", target = folder_ + "\\kopia ł.txt";
  writeFile(source, "treść");
  EXPECT_TRUE(platform::copyFileNoOverwrite(source, target));
  EXPECT_EQ(readFile(target), "treść");
  writeFile(source, "inna treść");
  EXPECT_FALSE(platform::copyFileNoOverwrite(source, target));
  EXPECT_EQ(readFile(target), "treść");
  EXPECT_FALSE(platform::copyFileNoOverwrite(folder_, folder_ + "\\folder"));
  EXPECT_FALSE(platform::copyFileNoOverwrite(source + "\xff", target + "2"));

  std::string content, error;
  EXPECT_FALSE(platform::readRegularFile(folder_, 100, content, &error));
  EXPECT_EQ(error, folder_ + ": to nie jest zwykły plik");
  EXPECT_FALSE(platform::readRegularFile(source, 3, content, &error));
  EXPECT_EQ(error, source + ": plik jest zbyt duży");
  EXPECT_FALSE(platform::readRegularFile("NUL", 100, content));

  SetFileAttributesW(wide(target).c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(platform::clearReadOnly(target), 0);
  EXPECT_EQ(GetFileAttributesW(wide(target).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(platform::clearReadOnly(folder_ + "\\brak.txt"), ERROR_FILE_NOT_FOUND);

  writeFile(folder_ + "\\opis.pdf", "MZ disguised program");
  writeFile(folder_ + "\\opis.html", "<html></html>");
  writeFile(folder_ + "\\instalator.EXE", "");
  EXPECT_TRUE(platform::isProgramFile(folder_ + "\\opis.pdf"));
  EXPECT_TRUE(platform::isProgramFile(folder_ + "\\instalator.EXE"));
  EXPECT_FALSE(platform::isProgramFile(folder_ + "\\opis.html"));
  EXPECT_FALSE(platform::isProgramFile(folder_));

  const std::string before = platform::currentDirectory();
  ASSERT_TRUE(SetCurrentDirectoryW(wide(folder_).c_str()));
  EXPECT_EQ(platform::currentDirectory(), folder_);
  SetCurrentDirectoryW(wide(before).c_str());
}

// A copy keeps the read-only attribute of its source on the medium, and
// DeleteFileW refuses such a file.
TEST_F(WindowsPlatformTest, ReadOnlyCopiesGoWhenRefusedAndWithTheirFolder) {
  const std::string source = folder_ + "\\obraz.jpg", work = folder_ + "\\roboczy",
                    refused = work + "\\odrzucony.jpg";
  writeFile(source, "JFIF");
  ASSERT_TRUE(SetFileAttributesW(wide(source).c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(CreateDirectoryW(wide(work).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(wide(work + "\\img").c_str(), nullptr));

  EXPECT_FALSE(platform::copyFileNoOverwrite(source, refused, [](std::uint64_t) { return false; }));
  EXPECT_EQ(GetFileAttributesW(wide(refused).c_str()), INVALID_FILE_ATTRIBUTES);
  for (const std::string &copy : {work + "\\kopia.jpg", work + "\\img\\kopia.jpg"}) {
    ASSERT_TRUE(platform::copyFileNoOverwrite(source, copy));
    EXPECT_FALSE(DeleteFileW(wide(copy).c_str())) << copy;
  }
  EXPECT_TRUE(platform::removeDirectoryTree(work));
  EXPECT_EQ(GetFileAttributesW(wide(work).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(platform::removeDirectoryTree(work));
  EXPECT_NE(GetFileAttributesW(wide(source).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(WindowsPlatformTest, WalksListByteOrderAndTellLinksAndFailingMedia) {
  using platform::EntryType;
  for (const char *name : {"b.txt", "Ą.png", "_x"}) writeFile(folder_ + "\\" + name, "\x89PNG\r\n");
  ASSERT_TRUE(CreateDirectoryW(wide(folder_ + "\\a").c_str(), nullptr));
  // Wine makes neither symbolic links nor junctions; Windows makes one of them.
  const bool linked = platform::linkToDirectory(folder_ + "\\a", folder_ + "\\łącze") == 0;

  int error = 0;
  platform::DirectoryHandle folder = platform::openDirectory(folder_);
  ASSERT_TRUE(folder);
  std::vector<std::pair<std::string, EntryType>> listed;
  for (const platform::ListedEntry &entry : platform::sortedListing(folder, &error))
    listed.emplace_back(entry.name, entry.type);
  EXPECT_EQ(error, 0);
  std::vector<std::pair<std::string, EntryType>> expected = {{"_x", EntryType::regularFile},
                                                             {"a", EntryType::directory},
                                                             {"b.txt", EntryType::regularFile},
                                                             {"Ą.png", EntryType::regularFile}};
  if (linked) expected.emplace_back("łącze", EntryType::link);
  EXPECT_EQ(listed, expected);
  EXPECT_FALSE(platform::openDirectoryIn(folder, "b.txt", &error));
  EXPECT_EQ(error, ERROR_DIRECTORY);
  EXPECT_FALSE(platform::openDirectory(folder_ + "\\brak", &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  // A folder is known by the same identity however it is reached.
  platform::EntryStatus opened, named;
  ASSERT_TRUE(platform::directoryStatus(platform::openDirectoryIn(folder, linked ? "łącze" : "a"), opened));
  ASSERT_TRUE(platform::entryStatus(folder_ + "/a", platform::Links::notFollowed, named));
  EXPECT_EQ(named.type, EntryType::directory);
  EXPECT_FALSE(opened.identity < named.identity || named.identity < opened.identity);
  const std::string root = platform::resolvedPath(folder_);
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.find("\\\\?\\"), std::string::npos);
  EXPECT_EQ(platform::resolvedPath(folder_ + (linked ? "/łącze" : "/a")), root + "\\a");
  EXPECT_TRUE(platform::resolvedPathWithin(platform::resolvedPath(folder_ + "\\a\\..\\b.txt"), root));
  EXPECT_FALSE(platform::resolvedPathWithin(platform::resolvedPath(folder_ + "\\.."), root));
  EXPECT_FALSE(platform::resolvedPathWithin(root + "x\\a", root));
  EXPECT_TRUE(platform::resolvedPathWithin("D:\\REFIMG", "D:\\"));
  EXPECT_EQ(platform::resolvedPath(folder_ + "\\brak"), "");

  unsigned char bytes[16];
  size_t got = 0;
  EXPECT_EQ(platform::readLeadingBytes(folder_ + "\\Ą.png", bytes, sizeof bytes, got), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), got), "\x89PNG\r\n");
  EXPECT_NE(platform::readLeadingBytes(folder_ + "\\a", bytes, sizeof bytes, got), 0);
  EXPECT_NE(platform::readLeadingBytes("NUL", bytes, sizeof bytes, got), 0);
  EXPECT_TRUE(platform::isMediumFailure(ERROR_NOT_READY));
  EXPECT_FALSE(platform::isMediumFailure(ERROR_FILE_NOT_FOUND));
}

TEST_F(WindowsPlatformTest, WorkingDirectoryIsTheUsersAloneAndGoesAtSessionEnd) {
  const std::string temporary = platform::temporaryFolder();
  EXPECT_FALSE(temporary.empty());
  EXPECT_NE(temporary.back(), '\\');
  EXPECT_EQ(platform::createPrivateDirectory(folder_), platform::DirectoryCreation::Exists);
  EXPECT_EQ(platform::createPrivateDirectory(folder_ + "\\brak\\głęboko"),
            platform::DirectoryCreation::Failed);

  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(wide(folder_).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &list, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(list, nullptr);
  // Wine keeps no list of its own: it shows the owner and the system account,
  // where Windows shows the one entry written.
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  unsigned char user[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
  ASSERT_GE(list->AceCount, 1);
  for (WORD i = 0; i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *entry = nullptr;
    ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void **>(&entry)));
    ASSERT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    PSID grantee = &entry->SidStart;
    EXPECT_TRUE(EqualSid(grantee, reinterpret_cast<TOKEN_USER *>(user)->User.Sid) ||
                EqualSid(grantee, system));
  }
  FreeSid(system);
  LocalFree(descriptor);

  static int immediateEnds = 0;
  platform::onEndRequest([](bool immediately) { immediateEnds += immediately ? 1 : 100; });
  HWND sessionWindow = FindWindowW(L"VelmoraBrelantorSession", nullptr);
  ASSERT_NE(sessionWindow, nullptr);
  EXPECT_TRUE(SendMessageW(sessionWindow, WM_QUERYENDSESSION, 0, 0));
  SendMessageW(sessionWindow, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(immediateEnds, 0);
  SendMessageW(sessionWindow, WM_ENDSESSION, TRUE, 0);
  SendMessageW(sessionWindow, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(immediateEnds, 1);
}

TEST_F(WindowsPlatformTest, ShellStartsProgramsAndTheUsersDocumentHandler) {
  const std::string key = "Software\\VelmoraBrelantorTest\\Zażółć";
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &created, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(created);
  EXPECT_TRUE(platform::registryKeyExists(platform::RegistryRoot::CurrentUser, key));
  EXPECT_TRUE(
      platform::registryKeyExists(platform::RegistryRoot::CurrentUser, "SOFTWARE\\velmorabrelantortest"));
  EXPECT_FALSE(platform::registryKeyExists(platform::RegistryRoot::LocalMachine, key));
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VelmoraBrelantorTest");
  EXPECT_FALSE(platform::registryKeyExists(platform::RegistryRoot::CurrentUser, key));

  platform::ProcessHandle process = 0;
  // A quoted argument arrives whole: blanks, quotes and a final backslash.
  const std::string argument = "zażółć \"gęślą\" D:\\a b\\";
  platform::ProcessHandle started = 0;
  ASSERT_TRUE(
      platform::shellOpen(0, probeProgram(), platform::quotedArgument(argument) + " /Q", folder_, &started));
  ASSERT_NE(started, 0);
  EXPECT_TRUE(pumpUntil([&] { return platform::processHasEnded(started); }));
  platform::releaseProcess(started);
  EXPECT_EQ(readFile(folder_ + "\\probe-output.txt"), folder_ + "\n" + argument + "\n/Q\n");

  // A report type and its handler, registered through the merged classes view
  // (the user's own classes on Windows; wine keeps no separate user view).
  const std::wstring command = L"\"" + wide(probeProgram()) + L"\" \"%1\"";
  HKEY handler = nullptr;
  RegCreateKeyExW(HKEY_CLASSES_ROOT, L".velmoraopis", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handler,
                  nullptr);
  RegSetValueExW(handler, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(L"VelmoraOpis"), 24);
  RegCloseKey(handler);
  RegCreateKeyExW(HKEY_CLASSES_ROOT, L"VelmoraOpis\\shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &handler, nullptr);
  RegSetValueExW(handler, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handler);
  const std::string report = folder_ + "\\opis badania ż.velmoraopis";
  writeFile(report, "opis");
  DeleteFileW(wide(folder_ + "\\probe-output.txt").c_str());
  EXPECT_TRUE(platform::shellExecute("opis badania ż.velmoraopis", "", folder_, process));
  platform::waitForProcess(process);
  EXPECT_TRUE(
      pumpUntil([&] { return readFile(folder_ + "\\probe-output.txt").find(report) != std::string::npos; }));
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".velmoraopis");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"VelmoraOpis");

  EXPECT_FALSE(platform::shellExecute(folder_ + "\\brak.exe", "", folder_, process));
  EXPECT_EQ(process, 0);
}

#ifdef VELMORA_INSTALLER_STANDIN
// The installer stand-in writes the key the runtime test reads, quietly or
// when its question is answered Yes.
TEST(WindowsInstallerStandinTest, WritesTheRuntimeKeyWhenAgreedOrQuiet) {
  const std::string installer = buildFolder() + "tools\\bin\\" VELMORA_INSTALLER_STANDIN;
  const char runtimeKey[] = "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727";
  // The 32-bit view, where a 64-bit program sees the installer's key.
  const std::wstring runtimeKey32 = L"SOFTWARE\\Wow6432Node\\Microsoft\\.NETFramework\\v2.0.50727";
  struct Run {
    const char *parameters;
    int button;
    bool registered;
  };
  for (const Run &run : {Run{"", IDNO, false}, Run{"", IDYES, true}, Run{"/q", 0, true}}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, runtimeKey32.c_str());
    platform::ProcessHandle process = 0;
    ASSERT_TRUE(platform::shellExecute(installer, run.parameters, buildFolder(), process));
    if (run.button != 0) pressButtonOfBox("Instalator .NET Framework 2.0", run.button);
    platform::waitForProcess(process);
    EXPECT_EQ(platform::registryKeyExists(platform::RegistryRoot::LocalMachine, runtimeKey), run.registered)
        << run.parameters << " " << run.button;
    HKEY plain = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(runtimeKey).c_str(), 0, KEY_READ, &plain),
              ERROR_SUCCESS);
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, runtimeKey32.c_str());
}
#endif

TEST(WindowsDesktopTest, WindowSearchAndTheQuestionAnsweredByItsButtons) {
  const std::string title = "Podgląd — DICOMViewerSplash ż";
  HWND window = CreateWindowExW(0, L"STATIC", wide(title).c_str(), WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  EXPECT_EQ(platform::findTopLevelWindow(title), reinterpret_cast<platform::WindowHandle>(window));
  EXPECT_EQ(platform::findTopLevelWindow(title + " "), 0u);
  EXPECT_TRUE(pumpUntil(
      [&] { return platform::foregroundWindow() == reinterpret_cast<platform::WindowHandle>(window); }));

  const std::string question = "Czy zainstalować środowisko?\nTo potrwa chwilę.", boxTitle = "Pytanie ż";
  for (int button : {IDYES, IDNO}) {
    auto answer = std::async(std::launch::async, [&] {
      return platform::askYesNo(reinterpret_cast<platform::WindowHandle>(window), question, boxTitle);
    });
    ASSERT_TRUE(pumpUntil([&] { return FindWindowW(L"#32770", wide(boxTitle).c_str()) != nullptr; }));
    wchar_t shown[256] = {};
    GetDlgItemTextW(FindWindowW(L"#32770", wide(boxTitle).c_str()), 0xFFFF, shown, 256);
    EXPECT_EQ(narrow(shown), question);
    pressButtonOfBox(boxTitle, button);
    ASSERT_TRUE(
        pumpUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(answer.get(), button == IDYES ? platform::Answer::Yes : platform::Answer::No);
  }
  DestroyWindow(window);
}

}  // namespace
