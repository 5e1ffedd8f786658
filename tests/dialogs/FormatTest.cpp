// MessageFmt's formatting: each directive over its argument types, and the errors it raises.
#include "dialogs/Format.h"
#include "platform/Errors.h"

#include <QLocale>
#include <QTest>

#include <limits>
#include <vector>

using namespace corvane;

using TArgs = std::vector<TFormatArg>;
Q_DECLARE_METATYPE(TArgs)

class FormatTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void Formats_data();
    void Formats();
    void UsesTheLocaleSeparators();
    void Rejects_data();
    void Rejects();
};

void FormatTest::Formats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<TArgs>("args");
    QTest::addColumn<QString>("expected");
    const QString LPath = QStringLiteral("/opt/suíte/Estoque Central.exe");
    QTest::newRow("module not installed")
        << QStringLiteral("Módulo não instalado.\r\n%s") << TArgs{LPath}
        << QStringLiteral("Módulo não instalado.\r\n") + LPath;
    QTest::newRow("a percent in the argument stays as it is")
        << QStringLiteral("[%s]") << TArgs{"100% %d"} << QStringLiteral("[100% %d]");
    QTest::newRow("percent sign") << QStringLiteral("100%% %s") << TArgs{"ok"}
                                  << QStringLiteral("100% ok");
    QTest::newRow("strings of every kind")
        << QStringLiteral("%s|%s|%s|%s")
        << TArgs{"utf-8 ç", std::string("std"), QChar(u'ã'), QStringLiteral("Q")}
        << QStringLiteral("utf-8 ç|std|ã|Q");
    QTest::newRow("string width and precision")
        << QStringLiteral("%.2s|%6s|%-6s|") << TArgs{"abcdef", "ab", "ab"}
        << QStringLiteral("ab|    ab|ab    |");
    QTest::newRow("indexes") << QStringLiteral("%1:s %0:s %s") << TArgs{"a", "b"}
                             << QStringLiteral("b a b");
    QTest::newRow("integers") << QStringLiteral("%d|%5d|%-5d|%.3d|%.3d|%D")
                              << TArgs{42, 42, 42, 7, -7, -12}
                              << QStringLiteral("42|   42|42   |007|-007|-12");
    QTest::newRow("64-bit extremes") << QStringLiteral("%d|%d") << TArgs{INT64_MIN, INT64_MAX}
                                     << QStringLiteral("-9223372036854775808|9223372036854775807");
    QTest::newRow("unsigned reads the bit pattern")
        << QStringLiteral("%u|%u") << TArgs{-1, -1LL}
        << QStringLiteral("4294967295|18446744073709551615");
    QTest::newRow("hexadecimal") << QStringLiteral("%x|%.4x|%x|%X") << TArgs{255, 255, -1, 0xabcLL}
                                 << QStringLiteral("FF|00FF|FFFFFFFF|ABC");
    QTest::newRow("width and precision from the arguments")
        << QStringLiteral("%*d|%-*d|%.*f") << TArgs{4, 7, 3, 7, 1, 2.25}
        << QStringLiteral("   7|7  |2.3");
    QTest::newRow("fixed, halves round up") << QStringLiteral("%f|%.1f|%.0f|%.0f|%.2f|%.0f|%.1f")
                                            << TArgs{1234.5, 0.25, 2.5, -2.5, 2.675, 0.4, 0.04}
                                            << QStringLiteral("1234.50|0.3|3|-3|2.68|0|0.0");
    QTest::newRow("fixed, carry into a new digit")
        << QStringLiteral("%.1f|%.0f") << TArgs{9.96, 99.5} << QStringLiteral("10.0|100");
    QTest::newRow("scientific")
        << QStringLiteral("%e|%.3e|%.1e|%e") << TArgs{1234.5, -0.000123456, 9.96, 0.0}
        << QStringLiteral("1.23450000000000E+003|-1.23E-004|1E+001|0.00000000000000E+000");
    QTest::newRow("general") << QStringLiteral("%g|%g|%g|%g|%g|%g|%g|%.3g")
                             << TArgs{1234.5, 0.0001, 0.00001, 1e20, 100.0, -1.5e-7, 0.0, 123456.0}
                             << QStringLiteral("1234.5|0.0001|1E-5|1E20|100|-1.5E-7|0|1.23E5");
    QTest::newRow("number with thousands")
        << QStringLiteral("%n|%.0n|%n") << TArgs{1234567.891, 999.5, -1234.0}
        << QStringLiteral("1,234,567.89|1,000|-1,234.00");
    QTest::newRow("infinities and not-a-number")
        << QStringLiteral("%f|%e|%g")
        << TArgs{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                 std::numeric_limits<double>::quiet_NaN()}
        << QStringLiteral("-INF|INF|NAN");
    QTest::newRow("pointer") << QStringLiteral("%p")
                             << TArgs{reinterpret_cast<const void*>(std::uintptr_t{0x1234abcd})}
                             << QStringLiteral("000000001234ABCD");
}

void FormatTest::Formats() {
    QFETCH(QString, format);
    QFETCH(TArgs, args);
    QFETCH(QString, expected);
    QCOMPARE(Format(format, args), expected);
}

void FormatTest::UsesTheLocaleSeparators() {
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const QString LFixed = Format(QStringLiteral("%n|%.2f|%g"), {1234567.891, 2.5, 0.125});
    const QString LMoney = Format(QStringLiteral("%m"), {1234.5});
    QLocale::setDefault(QLocale::c());
    QCOMPARE(LFixed, QStringLiteral("1.234.567,89|2,50|0,125"));
    QVERIFY2(LMoney.contains(QStringLiteral("1.234,50")), qPrintable(LMoney));
}

void FormatTest::Rejects_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<TArgs>("args");
    QTest::addColumn<QString>("message");
    const QString LInvalid = QStringLiteral("Format '%1' invalid or incompatible with argument");
    QTest::newRow("integer for a string")
        << QStringLiteral("%s") << TArgs{1} << LInvalid.arg(QStringLiteral("%s"));
    QTest::newRow("string for an integer")
        << QStringLiteral("%d") << TArgs{"1"} << LInvalid.arg(QStringLiteral("%d"));
    QTest::newRow("integer for a float")
        << QStringLiteral("%f") << TArgs{1} << LInvalid.arg(QStringLiteral("%f"));
    QTest::newRow("float for an integer")
        << QStringLiteral("%x") << TArgs{1.0} << LInvalid.arg(QStringLiteral("%x"));
    QTest::newRow("string for a width")
        << QStringLiteral("%*d") << TArgs{"4", 1} << LInvalid.arg(QStringLiteral("%*d"));
    QTest::newRow("unknown type") << QStringLiteral("%k") << TArgs{1}
                                  << LInvalid.arg(QStringLiteral("%k"));
    QTest::newRow("unfinished directive")
        << QStringLiteral("abc %-5") << TArgs{1} << LInvalid.arg(QStringLiteral("abc %-5"));
    QTest::newRow("absurd width") << QStringLiteral("%99999999d") << TArgs{1}
                                  << LInvalid.arg(QStringLiteral("%99999999d"));
    QTest::newRow("missing argument") << QStringLiteral("%s %s") << TArgs{"a"}
                                      << QStringLiteral("No argument for format '%s %s'");
    QTest::newRow("index past the arguments") << QStringLiteral("%2:s") << TArgs{"a", "b"}
                                              << QStringLiteral("No argument for format '%2:s'");
}

void FormatTest::Rejects() {
    QFETCH(QString, format);
    QFETCH(TArgs, args);
    QFETCH(QString, message);
    try {
        Format(format, args);
        QFAIL("no error raised");
    } catch (const EConvertError& LError) {
        QCOMPARE(QString::fromUtf8(LError.what()), message);
    }
}

QTEST_APPLESS_MAIN(FormatTest)
#include "FormatTest.moc"
