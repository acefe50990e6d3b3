// korvex_platform_check: the Windows sides of the app/, model/ and link/
// interfaces, checked where they run (under Wine here), against the same
// expectations the Linux tests hold. Run with stdout not a console and
// COM2 mapped to a device that does not exist:
//
//   korvex_platform_check.exe 红色 > out.txt
//
// Prints one line per failed check and "platform: N passed, N failed";
// exits 1 when a check failed.
#include <windows.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "app/gbk_text.h"
#include "app/platform.h"
#include "app/port_diagnosis.h"
#include "link/korvex_api.h"
#include "link/port_names.h"
#include "model/library_file.h"
#include "model/regular_file.h"
#include "tests/support/gbk_cases.h"

namespace korvex {
namespace {

int g_passed = 0, g_failed = 0;

void Check(bool ok, const std::string &what)
{
    ++(ok ? g_passed : g_failed);
    if (!ok)
        std::printf("FAILED: %s\n", what.c_str());
}

void CheckEqual(const std::string &got, const std::string &want, const std::string &what)
{
    Check(got == want, what + ": got '" + got + "', want '" + want + "'");
}

void Gbk()
{
    for (const gbk_cases::Case &c : gbk_cases::kToUtf8)
        CheckEqual(GbkToUtf8(c.from), c.to, std::string("GbkToUtf8, ") + c.what);
    for (const gbk_cases::Case &c : gbk_cases::kToGbk)
        CheckEqual(Utf8ToGbk(c.from), c.to, std::string("Utf8ToGbk, ") + c.what);
}

// A library is about 1 MB: on the heap, never in a frame.
std::unique_ptr<LibraryData> Library(int pictures)
{
    auto d = std::make_unique<LibraryData>();
    d->pictureCount = pictures;
    d->pictures[0].colours[5] = 0x00102030;
    StoreName(d->pictures[0], "\xBA\xEC");
    return d;
}

void LibraryFiles(const QString &dir)
{
    const std::string path = QDir(dir).filePath(QStringLiteral("红色.Dat")).toStdString();
    // What saves by a process that no longer runs left behind: this
    // library's goes, another library's stays.
    const QString stale = QStringLiteral(".红色.Dat.saving.999999996.0");
    const QString other = QStringLiteral(".other.Dat.saving.999999996.0");
    for (const QString &name : {stale, other})
        QFile(QDir(dir).filePath(name)).open(QIODevice::WriteOnly);
    std::string error;
    bool ok = SaveLibraryFile(path, *Library(1), error);
    Check(ok, "a new library file is saved: " + error);
    ok = SaveLibraryFile(path, *Library(2), error);
    Check(ok, "an existing one is replaced: " + error);
    const std::unique_ptr<LibraryData> back = Library(0);
    ok = LoadLibraryFile(path, *back, error);
    Check(ok && back->pictureCount == 2 && back->pictures[0].colours[5] == 0x00102030 &&
              NameOf(back->pictures[0]) == "\xBA\xEC",
          "the replaced file reads back as saved: " + error);
    Check(QDir(dir).entryList(QDir::Files | QDir::Hidden) ==
              QStringList({other, QStringLiteral("红色.Dat")}),
          "no temporary file of this library is left beside it");

    const std::wstring wide = QString::fromStdString(path).toStdWString();
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY);
    Check(!SaveLibraryFile(path, *Library(3), error), "a read-only file is not replaced");
    CheckEqual(error, "File access denied", "the refusal of a read-only file");
    Check(LoadLibraryFile(path, *back, error) && back->pictureCount == 2,
          "the read-only file keeps its bytes");
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);

    Check(!SaveLibraryFile(dir.toStdString(), *Library(1), error), "a folder is not replaced");
    bool notRegular = false;
    Check(OpenRegularFile(dir.toStdString(), notRegular) < 0 && notRegular,
          "a folder is not opened as a file");
    const std::string shortFile = QDir(dir).filePath(QStringLiteral("short.Dat")).toStdString();
    std::FILE *f = _wfopen(QString::fromStdString(shortFile).toStdWString().c_str(), L"wb");
    std::fputs("\x02", f);
    std::fclose(f);
    Check(!LoadLibraryFile(shortFile, *back, error), "a short file is refused");
    CheckEqual(error, "Read beyond end of file", "the refusal of a short file");
}

void Ports()
{
    bool com1 = false;
    for (const link::SerialDevice &d : link::ListSerialDevices())
        com1 = com1 || (d.name == "COM1" && d.path == "\\\\.\\COM1");
    Check(com1, "the registry's serial map lists COM1");
    CheckEqual(link::ResolvePort(7).path, "\\\\.\\COM7", "port 7");
    Check(link::ResolvePort(0).path.empty(), "port 0 names no device");

    // The cause comes from the link library's record of the open, read
    // back through the private trace file: Windows says the port does not
    // exist; Wine opens a COM link to a missing path and then cannot set
    // the line up. Without the record the cause would be unknown.
    EnableExchangeRecord();
    Check(ComInitial(2, 115200) == 0, "COM2 (no device behind it) does not open");
    const ExchangeFailure f = DiagnoseExchange(2);
    Check(f.cause == PortCause::Missing || f.cause == PortCause::SetupRefused,
          "the cause of COM2's failure: " + f.Text());
    Check(f.Text().rfind("cannot open port 2 (\\\\.\\COM2): ", 0) == 0,
          "COM2's failure names its device: " + f.Text());
}

void Places(const QString &dir, int argc, char **argv)
{
    // The caller passes 红色 (as UTF-8 from Linux, which Wine hands over
    // as wide text): the ANSI argv cannot hold it, the wide one can.
    CheckEqual(argc == 2 ? Utf8Arguments(argc, argv)[1] : "", "\xE7\xBA\xA2\xE8\x89\xB2",
               "the argument as UTF-8");
    Check(OwnExecutable().endsWith(QStringLiteral("/korvex_platform_check.exe")),
          "the executable's own path: " + OwnExecutable().toStdString());
    Check(PortableFolderUsable(dir), "a writable folder keeps the files");
    Check(!PortableFolderUsable(dir + QStringLiteral("/absent")),
          "a folder that takes no file sends them elsewhere");
    Check(!IsTerminal(stdout), "stdout sent to a file is no console");
}

}  // namespace
}  // namespace korvex

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::printf("platform: no temporary folder\n");
        return 1;
    }
    korvex::Gbk();
    korvex::LibraryFiles(dir.path());
    korvex::Ports();
    korvex::Places(dir.path(), argc, argv);
    std::printf("platform: %d passed, %d failed\n", korvex::g_passed, korvex::g_failed);
    return korvex::g_failed == 0 ? 0 : 1;
}
