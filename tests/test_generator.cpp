// The inline copy of the C library's generator: the library's numbers for
// every seed, and the seeded games it gives unchanged.
#include "engine/ball_engine.h"
#include "engine/inline_generator.h"
#include "engine/separate_generators.h"
#include "tests/game_watch.h"

#include <QtTest>

#include <cstdlib>
#include <vector>

namespace {

std::vector<int32_t> draws(InlineGenerator &generator, int count)
{
    std::vector<int32_t> values(size_t(count), 0);
    for (int32_t &value : values)
        value = generator.next();
    return values;
}

// The reference controller's choice (see brainlet.cpp), drawn from the
// stream the engine draws from, as rand() interleaves the two.
InlineGenerator sharedStream;
void referenceOnSharedStream(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *,
                             const int *)
{
    action = static_cast<int>(static_cast<size_t>(sharedStream.next()) % 9);
}

} // namespace

class TestGenerator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesTheLibrary_data();
    void matchesTheLibrary();
    void givesTheLibrarysFirstNumbersEverywhere();
    void reseedingStartsTheSequenceAgain();
    void seededGamesAreUnchanged();
    void aHandOverEndsWithItsGenerators();
    void manyAtOnceContinueTheSequence();
};

void TestGenerator::matchesTheLibrary_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {0u, 1u, 2u, 3u, 42u, 12345u, 127773u, 2147483646u, 2147483647u, 2147483648u, 2147483649u,
                         2654435769u, 3000000000u, 4294967294u, 4294967295u})
        QTest::newRow(qPrintable(QString::number(seed))) << seed;
}

// A million numbers from random_r on a fresh state, and the start of rand().
void TestGenerator::matchesTheLibrary()
{
#if defined(__GLIBC__)
    QFETCH(quint32, seed);
    alignas(8) char state[128] = {};
    random_data stream{};
    QCOMPARE(::initstate_r(seed, state, sizeof state, &stream), 0);
    InlineGenerator copy(seed);
    int32_t expected = 0;
    int i = 0;
    while (i < 1000000 && ::random_r(&stream, &expected) == 0 && copy.next() == expected)
        ++i;
    QCOMPARE(i, 1000000);
    std::srand(seed);
    copy.seed(seed);
    for (i = 0; i < 10000 && copy.next() == std::rand();)
        ++i;
    QCOMPARE(i, 10000);
#else
    QSKIP("random_r is the GNU C library's, and rand() another generator elsewhere");
#endif
}

// The well-known start of glibc's rand() without srand, after srand(1) or
// after srand(0).
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
    const InlineGenerator copy = used;
    used.seed(2654435769u);
    QCOMPARE(draws(used, 1000), first);
    used.seed(2654435769u);
    QCOMPARE(draws(used, 1000), first);
    // A copy goes on from where the original was, untouched by it.
    InlineGenerator unused(5), resumed = copy;
    draws(unused, 12345);
    QCOMPARE(draws(resumed, 100), draws(unused, 100));
}

// The games test_games.cpp recorded on the shared generator, where the
// reference controller and the engine draw from one stream, come out the
// same when that one stream is the inline copy.
void TestGenerator::seededGamesAreUnchanged()
{
    constexpr long recordedSteps = 395054;
    constexpr quint64 recordedStates = 7127884325421734005ULL;
    Ball_engine engine;
    engine.setup(10, 100);
    engine.drawFrom(&sharedStream);
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

// Split generators that handed the shared generator over for good put the
// state from before back when they go: the process's rand() goes on where
// it was, instead of reading a state that no longer exists.
void TestGenerator::aHandOverEndsWithItsGenerators()
{
    std::srand(5);
    const int first = std::rand(), second = std::rand();
    std::srand(5);
    {
        Ball_engine engine;
        engine.setup(rules::agentsPerGame, rules::maxArenaScale);
        SeparateGenerators generators;
        generators.startGame(3, engine);
        if (!generators.handOverSharedGenerator())
            QSKIP("the shared generator is handed over only with the GNU C library");
        std::srand(SeparateGenerators::controllerSeed(3));
        const int controllers = std::rand();
        generators.startGame(3, engine);
        QCOMPARE(std::rand(), controllers); // still the controller's stream
    }
    QCOMPARE(std::rand(), first);
    QCOMPARE(std::rand(), second);
}

// Batches of 9 and of 31 (a whole round), started at every place in a
// round, give the numbers one by one would, in order, and leave the
// generator where one by one would.
void TestGenerator::manyAtOnceContinueTheSequence()
{
    for (int skip = 0; skip < 31; ++skip) {
        InlineGenerator batched(4000000000u), single(4000000000u);
        for (int k = 0; k < skip; ++k) {
            batched.next();
            single.next();
        }
        for (int round = 0; round < 3; ++round) {
            int32_t nine[9] = {}, all[31] = {};
            size_t handed[9] = {}, calls = 0;
            batched.nextMany<9>([&](auto k, int32_t value) {
                handed[calls++] = k;
                nine[k] = value;
            });
            batched.nextMany<31>([&](auto k, int32_t value) { all[k] = value; });
            QCOMPARE(calls, size_t(9));
            for (size_t k = 0; k < 9; ++k)
                QCOMPARE(handed[k], k);
            for (int32_t value : nine)
                QCOMPARE(value, single.next());
            for (int32_t value : all)
                QCOMPARE(value, single.next());
        }
        QCOMPARE(batched.next(), single.next());
    }
}

QTEST_APPLESS_MAIN(TestGenerator)
#include "test_generator.moc"
