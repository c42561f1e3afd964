// The inline copy of the C library's generator: the library's numbers for
// every seed, and the seeded games it gives unchanged.
#include "game_watch.h"
#include "inline_generator.h"

#include <QtTest>

#include <cstdlib>
#include <vector>

namespace {

constexpr int valuesPerSeed = 1000000;

// The index of the first of `count` values where the two differ, or -1.
template <typename Library>
int firstDifference(InlineGenerator &copy, Library &&library, int count)
{
    for (int i = 0; i < count; ++i)
        if (copy.next() != library())
            return i;
    return -1;
}

std::vector<int32_t> draws(InlineGenerator &generator, int count)
{
    std::vector<int32_t> values(size_t(count), 0);
    for (int32_t &value : values)
        value = generator.next();
    return values;
}

// The reference controller's choice (see brainlet.cpp), drawn from the
// stream the engine draws from, as rand() interleaves the two.
InlineGenerator *sharedStream = nullptr;
void referenceOnSharedStream(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *,
                             const int *)
{
    action = static_cast<int>(static_cast<size_t>(sharedStream->next()) % 9);
}

} // namespace

class TestGenerator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesTheLibrarysStream_data();
    void matchesTheLibrarysStream();
    void matchesTheSharedGenerator();
    void givesTheLibrarysFirstNumbersEverywhere();
    void reseedingStartsTheSequenceAgain();
    void copiesGoOnAlone();
    void engineSeedsAndDrawsTheGivenGenerator();
    void seededGamesAreUnchanged();
};

void TestGenerator::matchesTheLibrarysStream_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {0u, 1u, 2u, 3u, 42u, 12345u, 127773u, 2147483646u, 2147483647u, 2147483648u, 2147483649u,
                         2654435769u, 3000000000u, 4294967294u, 4294967295u})
        QTest::newRow(qPrintable(QString::number(seed))) << seed;
}

void TestGenerator::matchesTheLibrarysStream()
{
#if defined(__GLIBC__)
    QFETCH(quint32, seed);
    alignas(8) char state[128] = {};
    random_data stream{};
    QCOMPARE(::initstate_r(seed, state, sizeof state, &stream), 0);
    InlineGenerator copy(seed);
    auto library = [&stream] {
        int32_t value = 0;
        ::random_r(&stream, &value);
        return value;
    };
    QCOMPARE(firstDifference(copy, library, valuesPerSeed), -1);
#else
    QSKIP("random_r is the GNU C library's");
#endif
}

void TestGenerator::matchesTheSharedGenerator()
{
#if defined(__GLIBC__)
    for (quint32 seed : {1u, 77u, 2147483648u}) {
        std::srand(seed);
        InlineGenerator copy;
        copy.seed(seed);
        QCOMPARE(firstDifference(copy, [] { return std::rand(); }, 10000), -1);
    }
#else
    QSKIP("rand() is another generator outside the GNU C library");
#endif
}

// The well-known start of glibc's rand() after srand(1), or no srand at all;
// srand(0) gives the same.
void TestGenerator::givesTheLibrarysFirstNumbersEverywhere()
{
    const std::vector<int32_t> seedOne = {1804289383, 846930886, 1681692777, 1714636915, 1957747793,
                                          424238335,  719885386, 1649760492, 596516649,  1189641421};
    InlineGenerator unseeded, one(1), zero(0);
    QCOMPARE(draws(unseeded, 10), seedOne);
    QCOMPARE(draws(one, 10), seedOne);
    QCOMPARE(draws(zero, 10), seedOne);
}

void TestGenerator::reseedingStartsTheSequenceAgain()
{
    InlineGenerator fresh(2654435769u);
    const std::vector<int32_t> first = draws(fresh, 1000);
    InlineGenerator used(5);
    draws(used, 12345);
    used.seed(2654435769u);
    QCOMPARE(draws(used, 1000), first);
    used.seed(2654435769u);
    QCOMPARE(draws(used, 1000), first);
    QVERIFY(draws(used, 1000) != first);
}

void TestGenerator::copiesGoOnAlone()
{
    InlineGenerator original(9);
    draws(original, 500);
    InlineGenerator copy = original;
    const std::vector<int32_t> next = draws(original, 100);
    QCOMPARE(draws(copy, 100), next);
    QCOMPARE(copy.next(), original.next());
}

// A seeded layout draws two numbers per agent and three per resource from
// the given generator, seeded with the game's seed.
void TestGenerator::engineSeedsAndDrawsTheGivenGenerator()
{
    Ball_engine plain, inlined;
    plain.setup(10, 100);
    inlined.setup(10, 100);
    InlineGenerator given(123), expected(5);
    inlined.drawFrom(&given);
    plain.resetSeeded(5);
    inlined.resetSeeded(5);
    for (size_t k = 0; k < 15; ++k) {
        QCOMPARE(inlined.getXCoordinate()[k], plain.getXCoordinate()[k]);
        QCOMPARE(inlined.getYCoordinate()[k], plain.getYCoordinate()[k]);
        QCOMPARE(inlined.getCircleRadius()[k], plain.getCircleRadius()[k]);
    }
    draws(expected, 10 * 2 + 5 * 3);
    QCOMPARE(given.next(), expected.next());

    // Back on the shared generator, the given one is left alone.
    inlined.drawFrom(nullptr);
    const InlineGenerator before = given;
    inlined.resetSeeded(6);
    InlineGenerator after = before;
    QCOMPARE(given.next(), after.next());
}

// The games test_games.cpp recorded on the shared generator, where the
// reference controller and the engine draw from one stream, come out the
// same when that one stream is the inline copy.
void TestGenerator::seededGamesAreUnchanged()
{
    constexpr long recordedSteps = 395054;
    constexpr quint64 recordedStates = 7127884325421734005ULL;
    InlineGenerator stream;
    sharedStream = &stream;
    Ball_engine engine;
    engine.setup(10, 100);
    engine.drawFrom(&stream);
    engine.setController(&referenceOnSharedStream);
    long totalSteps = 0;
    quint64 everyState = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        const GameRecord game = playGame(engine, seed, nullptr);
        totalSteps += game.steps;
        everyState = everyState * 1099511628211ULL ^ game.fingerprint;
    }
    QCOMPARE(totalSteps, recordedSteps);
    QCOMPARE(everyState, recordedStates);
}

QTEST_APPLESS_MAIN(TestGenerator)
#include "test_generator.moc"
