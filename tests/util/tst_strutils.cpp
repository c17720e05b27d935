#include "util/StrUtils.h"

#include <QLocale>
#include <QTest>

class TestStrUtils final : public QObject
{
    Q_OBJECT

private slots:
    void keywordMatchesLeadingPart_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("matches");

        QTest::newRow("empty text") << ""
                                    << "force" << true;
        QTest::newRow("upper case") << "FORCE"
                                    << "force" << true;
        QTest::newRow("leading part") << "lo"
                                      << "lockscreen" << true;
        QTest::newRow("longer than keyword") << "forces"
                                             << "force" << false;
        QTest::newRow("different letter") << "fx"
                                          << "force" << false;
    }

    void keywordMatchesLeadingPart()
    {
        QFETCH(QString, text);
        QFETCH(QString, keyword);
        QFETCH(bool, matches);
        QCOMPARE(MatchesKeyword(text, keyword), matches);
    }

    void valuedKeyword_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<QString>("textAfter");

        QTest::newRow("short keyword") << "Log:0"
                                       << "logmode" << true << "0";
        QTest::newRow("value with colon") << "i:/media/x:y"
                                          << "ini" << true << "/media/x:y";
        QTest::newRow("empty value") << "end:"
                                     << "end" << true << "";
        QTest::newRow("empty keyword part") << ":v"
                                            << "force" << true << "v";
        QTest::newRow("no colon") << "logmode"
                                  << "logmode" << false << "logmode";
        QTest::newRow("other keyword") << "x:1"
                                       << "logmode" << false << "x:1";
        QTest::newRow("longer than keyword") << "ends:x"
                                             << "end" << false << "ends:x";
    }

    void valuedKeyword()
    {
        QFETCH(QString, text);
        QFETCH(QString, keyword);
        QFETCH(bool, matches);
        QFETCH(QString, textAfter);
        QCOMPARE(MatchesValuedKeyword(text, keyword), matches);
        QCOMPARE(text, textAfter);
    }

    void leadingInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separators");
        QTest::addColumn<qint64>("def");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("textAfter");

        QTest::newRow("blanks before") << "  12 rest"
                                       << " " << qint64(5) << qint64(12) << "rest";
        QTest::newRow("no separator") << "12"
                                      << " " << qint64(5) << qint64(12) << "";
        QTest::newRow("empty") << ""
                               << " " << qint64(7) << qint64(7) << "";
        QTest::newRow("only blanks") << "   "
                                     << " " << qint64(7) << qint64(7) << "";
        QTest::newRow("not a number") << "abc x"
                                      << " " << qint64(1) << qint64(1) << "x";
        QTest::newRow("minus zero") << "-0"
                                    << " " << qint64(1) << qint64(0) << "";
        QTest::newRow("hex with 0x") << "0x1F,2"
                                     << "," << qint64(0) << qint64(31) << "2";
        QTest::newRow("hex with $") << "$ff;x"
                                    << ",;" << qint64(0) << qint64(255) << "x";
        QTest::newRow("negative") << "-42 "
                                  << " " << qint64(0) << qint64(-42) << "";
        QTest::newRow("overflow") << "9223372036854775808"
                                  << " " << qint64(3) << qint64(3) << "";
        QTest::newRow("blank inside the part") << "1 2,3"
                                               << "," << qint64(9) << qint64(9) << "3";
    }

    void leadingInt()
    {
        QFETCH(QString, text);
        QFETCH(QString, separators);
        QFETCH(qint64, def);
        QFETCH(qint64, value);
        QFETCH(QString, textAfter);
        QCOMPARE(ReadLeadingInt(text, separators, def), value);
        QCOMPARE(text, textAfter);
    }

    void nextItem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("textAfter");

        QTest::newRow("two items") << "A,B"
                                   << "A"
                                   << "B";
        QTest::newRow("one item") << "A"
                                  << "A"
                                  << "";
        QTest::newRow("three items") << "a,b,c"
                                     << "a"
                                     << "b,c";
        QTest::newRow("empty first item") << ",B"
                                          << ""
                                          << "B";
        QTest::newRow("blanks kept") << " a ,b"
                                     << " a "
                                     << "b";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }

    void nextItem()
    {
        QFETCH(QString, text);
        QFETCH(QString, item);
        QFETCH(QString, textAfter);
        QCOMPARE(ReadNextItem(text, u','), item);
        QCOMPARE(text, textAfter);
    }

    void nextToken_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QChar>("quote");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("textAfter");

        const QChar blank = u' ';
        const QChar dq = u'"';
        QTest::newRow("quoted name with blank") << "\"My Task\" /force" << blank << dq << "My Task"
                                                << "/force";
        QTest::newRow("plain") << "  plain rest" << blank << dq << "plain"
                               << "rest";
        QTest::newRow("plain keeps quotes") << "abc \"d e\"" << blank << dq << "abc"
                                            << "\"d e\"";
        QTest::newRow("empty") << "" << blank << dq << ""
                               << "";
        QTest::newRow("only blanks") << "   " << blank << dq << ""
                                     << "";
        QTest::newRow("doubled quotes inside") << "\"say \"\"hi\"\"\" next" << blank << dq << "say \"hi\""
                                               << "next";
        QTest::newRow("quote in the middle") << "\"a b\"c d" << blank << dq << "a bc"
                                             << "d";
        QTest::newRow("trimmed at the end") << "\"name\"  ,rest" << QChar(u',') << dq << "name"
                                            << "rest";
        QTest::newRow("blanks inside quotes kept") << "\" x \",r" << QChar(u',') << dq << " x "
                                                   << "r";
        QTest::newRow("three characters") << "\"x\" rest" << blank << dq << "x"
                                          << "rest";
        // Two characters or less before the separator give an empty token.
        QTest::newRow("two quotes") << "\"\" rest" << blank << dq << ""
                                    << "rest";
        QTest::newRow("unbalanced, two characters") << "\"a" << blank << dq << ""
                                                    << "";
        QTest::newRow("unbalanced runs to the end") << "\"a rest" << blank << dq << "a rest"
                                                    << "";
        QTest::newRow("other quote character") << "'it''s' x" << blank << QChar(u'\'') << "it's"
                                               << "x";
    }

    void nextToken()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(QChar, quote);
        QFETCH(QString, token);
        QFETCH(QString, textAfter);
        QCOMPARE(ReadNextToken(text, separator, quote), token);
        QCOMPARE(text, textAfter);
    }

    void quoteIfNeeded_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("characters");
        QTest::addColumn<QString>("quoted");

        QTest::newRow("empty") << ""
                               << " "
                               << "";
        QTest::newRow("path with blank") << "/home/u/My Tasks/a.buj"
                                         << " "
                                         << "\"/home/u/My Tasks/a.buj\"";
        QTest::newRow("path without blank") << "/home/u/a.buj"
                                            << " "
                                            << "/home/u/a.buj";
        QTest::newRow("inner quotes doubled") << "/ini:a \"b\""
                                              << " "
                                              << "\"/ini:a \"\"b\"\"\"";
        QTest::newRow("quote without blank") << "a\"b"
                                             << " "
                                             << "\"a\"\"b\"";
        QTest::newRow("empty set quotes always") << "abc"
                                                 << ""
                                                 << "\"abc\"";
        QTest::newRow("any character of the set") << "a;b"
                                                  << ",;"
                                                  << "\"a;b\"";
    }

    void quoteIfNeeded()
    {
        QFETCH(QString, text);
        QFETCH(QString, characters);
        QFETCH(QString, quoted);
        QCOMPARE(QuoteIfNeeded(text, characters), quoted);
    }

    // What the program writes into a command line must come back unchanged.
    void quotedTokenReadsBack_data()
    {
        QTest::addColumn<QString>("text");

        QTest::newRow("plain") << "x";
        QTest::newRow("blank") << "My Task";
        QTest::newRow("quotes and blanks") << "a \"b\" c";
        QTest::newRow("quotes only") << "a\"\"b";
        QTest::newRow("one quote") << "\"";
        QTest::newRow("blanks around") << "  x  ";
    }

    void quotedTokenReadsBack()
    {
        QFETCH(QString, text);
        QString line = QuoteIfNeeded(text) + QStringLiteral(" rest");
        QCOMPARE(ReadNextToken(line, u' '), text);
        QCOMPARE(line, QStringLiteral("rest"));
    }

    void textPos_data()
    {
        QTest::addColumn<QString>("sub");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("pos");

        QTest::newRow("other case") << "TASK"
                                    << "my task list" << qsizetype(0) << qsizetype(3);
        QTest::newRow("missing") << "x"
                                 << "abc" << qsizetype(0) << qsizetype(-1);
        QTest::newRow("from a position") << "a"
                                         << "aXa" << qsizetype(1) << qsizetype(2);
        QTest::newRow("umlaut") << "ÄB"
                                << "xäb" << qsizetype(0) << qsizetype(1);
        QTest::newRow("from beyond the end") << "a"
                                             << "abc" << qsizetype(9) << qsizetype(-1);
        QTest::newRow("negative from") << "a"
                                       << "abc" << qsizetype(-1) << qsizetype(-1);
    }

    void textPos()
    {
        QFETCH(QString, sub);
        QFETCH(QString, text);
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, pos);
        QCOMPARE(TextPosEx(sub, text, from), pos);
        if (from == 0)
            QCOMPARE(TextPos(sub, text), pos);
    }

    void extractDelimited_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<QString>("part");

        QTest::newRow("placeholder") << "D:%date%/x" << qsizetype(0) << "%date%";
        QTest::newRow("from the closing one") << "%a% %b%" << qsizetype(2) << "% %";
        QTest::newRow("second placeholder") << "%a% %b%" << qsizetype(4) << "%b%";
        QTest::newRow("one delimiter") << "only %one" << qsizetype(0) << "";
        QTest::newRow("none") << "plain" << qsizetype(0) << "";
        QTest::newRow("from beyond the end") << "%a%" << qsizetype(3) << "";
        QTest::newRow("negative from") << "%a%" << qsizetype(-2) << "";
    }

    void extractDelimited()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, from);
        QFETCH(QString, part);
        QCOMPARE(ExtractDelimited(text, u'%', from), part);
    }

    void smallHelpers()
    {
        QCOMPARE(RemoveBlanks(QStringLiteral(" a b\tc ")), QStringLiteral("ab\tc"));
        QCOMPARE(RemoveChars(QStringLiteral("a-b_c-"), QStringLiteral("-_")), QStringLiteral("abc"));
        QCOMPARE(StringOfChar(u'=', 3), QStringLiteral("==="));
        QCOMPARE(StringOfChar(u'=', -1), QString());
        QCOMPARE(ReplaceChar(QStringLiteral("a#b#"), u'#', u'"'), QStringLiteral("a\"b\""));
        QCOMPARE(TrimLeadingChar(QStringLiteral("00120"), u'0'), QStringLiteral("120"));
        QCOMPARE(TrimTrailingChar(QStringLiteral("/a//"), u'/'), QStringLiteral("/a"));
        QCOMPARE(TrimTrailingChar(QStringLiteral("///"), u'/'), QString());
        QCOMPARE(TrimLeftBlanks(QStringLiteral("\t x ")), QStringLiteral("x "));
        QCOMPARE(TrimRightBlanks(QStringLiteral(" x\r\n")), QStringLiteral(" x"));
    }

    void countText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint64>("count");
        QTest::addColumn<QString>("text");

        QTest::newRow("one") << "C" << quint64(1) << "1 error";
        QTest::newRow("zero") << "C" << quint64(0) << "0 errors";
        QTest::newRow("four digits stay plain") << "C" << quint64(9999) << "9999 errors";
        QTest::newRow("five digits grouped") << "C" << quint64(12345) << "12,345 errors";
        QTest::newRow("German separator") << "de_DE" << quint64(1234567) << "1.234.567 errors";
    }

    void countText()
    {
        QFETCH(QString, locale);
        QFETCH(quint64, count);
        QFETCH(QString, text);
        const QLocale old;
        QLocale::setDefault(QLocale(locale));
        const QString result = CountText(count, "%u error", "%u errors");
        QLocale::setDefault(old);
        QCOMPARE(result, text);
    }
};

QTEST_GUILESS_MAIN(TestStrUtils)
#include "tst_strutils.moc"
