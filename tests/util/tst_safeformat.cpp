#include "util/SafeFormat.h"

#include <QTest>

#include <limits>
#include <vector>

// Arguments travel through the data table as QVariants: QString is a text, int and qint64
// a signed integer of that width, uint and quint64 an unsigned one.
static std::vector<TFormatArg> ToArgs(const QVariantList &values)
{
    std::vector<TFormatArg> args;
    for (const QVariant &value : values) {
        switch (value.typeId()) {
        case QMetaType::QString:
            args.emplace_back(value.toString());
            break;
        case QMetaType::Int:
            args.emplace_back(value.toInt());
            break;
        case QMetaType::UInt:
            args.emplace_back(value.toUInt());
            break;
        case QMetaType::LongLong:
            args.emplace_back(value.toLongLong());
            break;
        case QMetaType::ULongLong:
            args.emplace_back(value.toULongLong());
            break;
        default:
            qFatal("unexpected argument type in the test table");
        }
    }
    return args;
}

class TestSafeFormat final : public QObject
{
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");

        const QString s = QStringLiteral("abcdef");
        QTest::newRow("no specifier") << "plain text" << QVariantList{} << "plain text";
        QTest::newRow("text") << "File %s missing" << QVariantList{QStringLiteral("a.ini")}
                              << "File a.ini missing";
        QTest::newRow("decimal") << "%d tasks" << QVariantList{42} << "42 tasks";
        QTest::newRow("negative decimal") << "%d" << QVariantList{-42} << "-42";
        QTest::newRow("smallest 64-bit")
            << "%d" << QVariantList{std::numeric_limits<qint64>::min()} << "-9223372036854775808";
        QTest::newRow("largest unsigned as %d")
            << "%d" << QVariantList{std::numeric_limits<quint64>::max()} << "18446744073709551615";
        QTest::newRow("unsigned") << "%u errors" << QVariantList{7u} << "7 errors";
        QTest::newRow("negative int as %u") << "%u" << QVariantList{-1} << "4294967295";
        QTest::newRow("negative int64 as %u") << "%u" << QVariantList{qint64(-1)} << "18446744073709551615";
        QTest::newRow("system error code") << " (0x%.8x)" << QVariantList{5} << " (0x00000005)";
        QTest::newRow("negative error code")
            << " (0x%.8x)" << QVariantList{int(0x80070005u)} << " (0x80070005)";
        QTest::newRow("hex is lower case") << "%x" << QVariantList{0xBEEF} << "beef";
        QTest::newRow("upper-case type") << "%X" << QVariantList{0xBEEF} << "BEEF";
        QTest::newRow("hex longer than precision")
            << "%.2x" << QVariantList{std::numeric_limits<quint64>::max()} << "ffffffffffffffff";
        QTest::newRow("width") << "[%5d]" << QVariantList{42} << "[   42]";
        QTest::newRow("left-justify") << "[%-5d]" << QVariantList{42} << "[42   ]";
        QTest::newRow("precision on decimal") << "%.5d" << QVariantList{-5} << "-00005";
        QTest::newRow("width and precision") << "[%7.4u]" << QVariantList{12u} << "[   0012]";
        QTest::newRow("text cut by precision") << "%.3s" << QVariantList{s} << "abc";
        QTest::newRow("text padded") << "[%8s|%-8s]" << QVariantList{s, s} << "[  abcdef|abcdef  ]";
        QTest::newRow("width narrower than text") << "%2s" << QVariantList{s} << s;
        QTest::newRow("precision keeps surrogate pairs whole")
            << "%.1s" << QVariantList{QString::fromUtf8("\xF0\x9F\x98\x80x")} << "";
        QTest::newRow("star width") << "[%*d]" << QVariantList{4, 7} << "[   7]";
        QTest::newRow("star precision") << "%.*s" << QVariantList{2, s} << "ab";
        QTest::newRow("indexed") << "%1:s %0:s" << QVariantList{QStringLiteral("a"), QStringLiteral("b")}
                                 << "b a";
        QTest::newRow("plain one continues after index")
            << "%2:s %s %0:s %s"
            << QVariantList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                            QStringLiteral("d")}
            << "c d a b";
        QTest::newRow("indexed with width") << "[%0:-4d]" << QVariantList{1} << "[1   ]";
        QTest::newRow("percent") << "100%% of %d" << QVariantList{3} << "100% of 3";
        QTest::newRow("extra arguments ignored")
            << "%s" << QVariantList{QStringLiteral("a"), QStringLiteral("b")} << "a";

        // Errors: the whole format follows the fixed prefix.
        const auto error = [](const char *format) -> QString {
            return QStringLiteral("Format error: ") + format;
        };
        QTest::newRow("missing argument") << "%s and %s" << QVariantList{s} << error("%s and %s");
        QTest::newRow("no arguments at all") << "%d" << QVariantList{} << error("%d");
        QTest::newRow("text for %d") << "%d" << QVariantList{s} << error("%d");
        QTest::newRow("text for %x") << "%x" << QVariantList{s} << error("%x");
        QTest::newRow("integer for %s") << "%s" << QVariantList{1} << error("%s");
        QTest::newRow("unknown type") << "%f" << QVariantList{1} << error("%f");
        QTest::newRow("percent at the end") << "50 %" << QVariantList{} << error("50 %");
        QTest::newRow("specifier without type") << "%5" << QVariantList{1} << error("%5");
        QTest::newRow("dot without precision") << "%.s" << QVariantList{s} << error("%.s");
        QTest::newRow("index without type") << "%1:" << QVariantList{1, 2} << error("%1:");
        QTest::newRow("index out of range") << "%2:s" << QVariantList{s, s} << error("%2:s");
        QTest::newRow("continuing past the end") << "%1:s %s" << QVariantList{s, s} << error("%1:s %s");
        QTest::newRow("huge width") << "%99999999999s" << QVariantList{s} << error("%99999999999s");
        QTest::newRow("text as star width") << "%*d" << QVariantList{s, 1} << error("%*d");
        QTest::newRow("negative star width") << "%*d" << QVariantList{-3, 1} << error("%*d");
        QTest::newRow("blank between percent and type") << "% d" << QVariantList{1} << error("% d");
    }

    void formats()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        const std::vector<TFormatArg> list = ToArgs(args);
        QCOMPARE(SafeFormat(format, std::span<const TFormatArg>(list)), expected);
    }

    void argumentsConvertImplicitly()
    {
        // UTF-8 literals, QChar, narrow integers at their own width, and both call forms.
        QCOMPARE(SafeFormat(QStringLiteral("%s/%s"), {"Gr\xC3\xBC\xC3\x9F"
                                                      "e",
                                                      QChar(u'x')}),
                 QString::fromUtf8("Grüße/x"));
        QCOMPARE(SafeFormat(QStringLiteral("%u %u %x"), int8_t(-1), int16_t(-1), uint8_t(0xAB)),
                 QStringLiteral("255 65535 ab"));
        QCOMPARE(SafeFormat(QStringLiteral("%d-%s"), 7L, QStringLiteral("x")), QStringLiteral("7-x"));
        QCOMPARE(SafeFormat(QStringLiteral("100%%")), QStringLiteral("100%"));
        const char *missing = nullptr;
        QCOMPARE(SafeFormat(QStringLiteral("[%s]"), missing), QStringLiteral("[]"));
    }
};

QTEST_GUILESS_MAIN(TestSafeFormat)
#include "tst_safeformat.moc"
