#include <QtTest>

#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "formats/file_io.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

bool Age(const QString& path, std::chrono::hours age) {
    const timeval when{static_cast<time_t>(time(nullptr) - age.count() * 3600), 0};
    const timeval times[2] = {when, when};
    return utimes(Path(path).c_str(), times) == 0;
}

}  // namespace

class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    void temporaryNameIsRecognised() {
        QTemporaryDir dir;
        AtomicFile file(Path(dir.filePath("a.frc")));
        QVERIFY(file.Open());
        const QStringList entries = Entries(dir.path());
        QCOMPARE(entries.size(), 1);
        QVERIFY(IsAtomicTemporaryName(entries[0].toStdString()));
        for (const char* other :
             {"a.frc", ".a.frc", ".a.frc.ombrilo-abc12", ".a.frc.ombrilo-abc1234",
              ".a.frc.ombrilo-ab_c12", "..ombrilo-abc123", "a.ombrilo-abc123"}) {
            QVERIFY2(!IsAtomicTemporaryName(other), other);
        }
    }

    void onlyStaleTemporaryFilesAreRemoved() {
        QTemporaryDir dir;
        const QString stale = dir.filePath(".a.frc.ombrilo-Ab3dE9");
        const QString fresh = dir.filePath(".b.ptt.ombrilo-Zz0000");
        const QString user = dir.filePath(".a.frc.Ab3dE9");  // not the program's name
        for (const QString& path : {stale, fresh, user}) {
            QVERIFY(WriteBytes(path, "x"));
        }
        QVERIFY(Age(stale, std::chrono::hours(25)) && Age(user, std::chrono::hours(25)) &&
                Age(fresh, std::chrono::hours(23)));
        QVERIFY(QFile::link(user, dir.filePath(".c.frc.ombrilo-link00")));
        QCOMPARE(RemoveStaleTemporaryFiles(Path(dir.path()), std::chrono::hours(24)), 1);
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(Entries(dir.path()).size(), 3);
        QCOMPARE(RemoveStaleTemporaryFiles(Path(dir.filePath("missing")), std::chrono::hours(0)),
                 0);
    }
};

QTEST_GUILESS_MAIN(TestFileIo)
#include "test_file_io.moc"
