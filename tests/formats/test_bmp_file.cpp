#include <QtTest>
class T : public QObject { Q_OBJECT };
QTEST_APPLESS_MAIN(T)
#include "test_bmp_file.moc"
