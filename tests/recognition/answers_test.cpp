#include "answers.h"

#include <QtTest>

class AnswersTest : public QObject
{
    Q_OBJECT

private slots:
    void testScore_data();
    void testScore();
    void testCompareLetters_data();
    void testCompareLetters();
    void testAbnormal_data();
    void testAbnormal();
    void testOptionLetter_data();
    void testOptionLetter();
    void testNormalize_data();
    void testNormalize();
    void testFindStudent_data();
    void testFindStudent();
    void testFindAnswerSetting();
};

void AnswersTest::testScore_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<int>("compareType");
    QTest::addColumn<float>("expected");

    // Full score 6, part score 1.5 throughout.
    QTest::newRow("single exact") << "B" << "B" << false << int(SC) << 6.0f;
    QTest::newRow("single wrong") << "C" << "B" << false << int(SC) << 0.0f;
    QTest::newRow("single two letters MA") << "AB" << "A" << false << int(MA) << 0.0f;
    QTest::newRow("single two letters TYPE2") << "AB" << "AB" << false << int(TYPE2) << 6.0f;
    QTest::newRow("single part under TYPE1 is exact only") << "A" << "AB" << false << int(TYPE1) << 0.0f;
    QTest::newRow("SC multiple exact") << "ABCD" << "ABCD" << true << int(SC) << 6.0f;
    QTest::newRow("SC multiple reordered") << "DCBA" << "ABCD" << true << int(SC) << 0.0f;
    QTest::newRow("SC multiple part") << "AB" << "ABD" << true << int(SC) << 0.0f;

    QTest::newRow("MA same") << "ABCD" << "ABCD" << true << int(MA) << 6.0f;
    QTest::newRow("MA same letters other order") << "DCBA" << "ABCD" << true << int(MA) << 6.0f;
    QTest::newRow("MA part") << "AB" << "ABD" << true << int(MA) << 1.5f;
    QTest::newRow("MA longer than key") << "ABC" << "AB" << true << int(MA) << 0.0f;
    QTest::newRow("MA wrong letter") << "AC" << "ABD" << true << int(MA) << 0.0f;
    QTest::newRow("MA nothing marked") << "X" << "ABD" << true << int(MA) << 0.0f;

    QTest::newRow("TYPE1 same") << "ABCD" << "ABCD" << true << int(TYPE1) << 6.0f;
    QTest::newRow("TYPE1 same letters other order") << "DCBA" << "ABCD" << true << int(TYPE1) << 6.0f;
    QTest::newRow("TYPE1 two of three") << "AB" << "ABD" << true << int(TYPE1) << 4.0f;
    QTest::newRow("TYPE1 one of four") << "C" << "ABCD" << true << int(TYPE1) << 1.5f;
    QTest::newRow("TYPE1 longer than key") << "ABC" << "AB" << true << int(TYPE1) << 0.0f;
    QTest::newRow("TYPE1 wrong letter") << "AE" << "ABCD" << true << int(TYPE1) << 0.0f;
    QTest::newRow("TYPE1 empty key") << "A" << "" << true << int(TYPE1) << 0.0f;

    QTest::newRow("TYPE2 same") << "ABD" << "ABD" << true << int(TYPE2) << 6.0f;
    QTest::newRow("TYPE2 two of three") << "AB" << "ABD" << true << int(TYPE2) << 3.0f;
    QTest::newRow("TYPE2 wrong letter costs nothing") << "ABC" << "AB" << true << int(TYPE2) << 3.0f;
    QTest::newRow("TYPE2 four letters equal to key") << "ABCD" << "ABCD" << true << int(TYPE2) << 0.0f;
    QTest::newRow("TYPE2 four letters key of three") << "ABCD" << "ABC" << true << int(TYPE2) << 0.0f;
    QTest::newRow("TYPE2 nothing marked") << "X" << "AB" << true << int(TYPE2) << 0.0f;

    QTest::newRow("TYPE3 exact") << "AB" << "AB" << true << int(TYPE3) << 0.0f;
    QTest::newRow("TYPE3 part") << "A" << "AB" << true << int(TYPE3) << 0.0f;
    QTest::newRow("TYPE3 single choice scored exactly") << "A" << "A" << false << int(TYPE3) << 6.0f;
    QTest::newRow("unknown type") << "AB" << "AB" << true << 9 << 0.0f;
}

void AnswersTest::testScore()
{
    QFETCH(QString, answer);
    QFETCH(QString, key);
    QFETCH(bool, multiple);
    QFETCH(int, compareType);
    QFETCH(float, expected);

    QCOMPARE(scoreObjectiveItem(answer, key, multiple, 6.0f, compareType, 1.5f), expected);
}

void AnswersTest::testCompareLetters_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("same") << "ABD" << "ABD" << 0;
    QTest::newRow("same letters reordered") << "DBA" << "ABD" << 0;
    QTest::newRow("proper part") << "AB" << "ABD" << 1;
    QTest::newRow("longer than key") << "ABC" << "AB" << -1;
    QTest::newRow("letter not in key") << "AC" << "ABD" << -1;
    QTest::newRow("empty answer") << "" << "ABD" << -1;
    QTest::newRow("duplicates not looked for") << "AA" << "AB" << 0;
    QTest::newRow("nothing marked") << "X" << "AB" << -1;
}

void AnswersTest::testCompareLetters()
{
    QFETCH(QString, answer);
    QFETCH(QString, key);
    QFETCH(int, expected);
    QCOMPARE(compareAnswerLetters(answer, key), expected);
}

void AnswersTest::testAbnormal_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<bool>("expected");

    QTest::newRow("single one letter") << "A" << false << false;
    QTest::newRow("single two letters") << "AB" << false << true;
    QTest::newRow("single nothing") << "X" << false << true;
    QTest::newRow("multiple two letters") << "AB" << true << false;
    QTest::newRow("multiple nothing") << "X" << true << true;
    QTest::newRow("multiple one letter") << "C" << true << false;
}

void AnswersTest::testAbnormal()
{
    QFETCH(QString, answer);
    QFETCH(bool, multiple);
    QFETCH(bool, expected);
    QCOMPARE(isAbnormalAnswer(answer, multiple), expected);
}

void AnswersTest::testOptionLetter_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QChar>("expected");

    QTest::newRow("0") << 0 << QChar('A');
    QTest::newRow("3") << 3 << QChar('D');
    QTest::newRow("15") << 15 << QChar('P');
    QTest::newRow("16 wraps") << 16 << QChar('A');
    QTest::newRow("33 wraps") << 33 << QChar('B');
}

void AnswersTest::testOptionLetter()
{
    QFETCH(int, index);
    QFETCH(QChar, expected);
    QCOMPARE(optionLetter(index), expected);
}

void AnswersTest::testNormalize_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("optionCount");
    QTest::addColumn<QString>("expected");

    QTest::newRow("sorted and unique") << "DBB" << 4 << "BD";
    QTest::newRow("X wins at once") << "AX" << 4 << "X";
    QTest::newRow("empty") << "" << 4 << "X";
    QTest::newRow("letter beyond options dropped") << "AE" << 4 << "A";
    QTest::newRow("only invalid letters") << "EF" << 4 << "X";
    QTest::newRow("lower case dropped") << "ab" << 4 << "X";
    QTest::newRow("other characters dropped") << "C, A" << 4 << "AC";
    QTest::newRow("X is a valid letter with 24 options") << "XA" << 24 << "AX";
    QTest::newRow("no options") << "A" << 0 << "X";
    QTest::newRow("sixteen options") << "PA" << 16 << "AP";
}

void AnswersTest::testNormalize()
{
    QFETCH(QString, answer);
    QFETCH(int, optionCount);
    QFETCH(QString, expected);
    QCOMPARE(normalizeAnswer(answer, optionCount), expected);
}

void AnswersTest::testFindStudent_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("expected");

    QTest::newRow("known") << "1001" << 42;
    QTest::newRow("id zero") << "1002" << -1;
    QTest::newRow("negative id") << "1003" << -1;
    QTest::newRow("not in roster") << "9999" << -1;
    QTest::newRow("empty code") << "" << -1;
}

void AnswersTest::testFindStudent()
{
    QFETCH(QString, code);
    QFETCH(int, expected);

    StudentHash roster;
    StudentInfo known;
    known.code = QStringLiteral("1001");
    known.id = 42;
    roster.insert(known.code, known);
    StudentInfo zero;
    zero.code = QStringLiteral("1002");
    zero.id = 0;
    roster.insert(zero.code, zero);
    StudentInfo negative;
    negative.code = QStringLiteral("1003");
    negative.id = -7;
    roster.insert(negative.code, negative);

    QCOMPARE(findStudentIndex(code, roster), expected);
}

void AnswersTest::testFindAnswerSetting()
{
    QVector<AnswerSetting> keys(3);
    keys[0].itemId = 1;
    keys[0].answer = QStringLiteral("A");
    keys[1].itemId = 2;
    keys[1].answer = QStringLiteral("B");
    keys[2].itemId = 2;
    keys[2].answer = QStringLiteral("C");

    const AnswerSetting *second = findAnswerSetting(keys, 2);
    QVERIFY(second);
    QCOMPARE(second->answer, QStringLiteral("B"));   // the first entry of that number
    QVERIFY(!findAnswerSetting(keys, 3));
    QVERIFY(!findAnswerSetting({}, 1));
}

QTEST_APPLESS_MAIN(AnswersTest)
#include "answers_test.moc"
