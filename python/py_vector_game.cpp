// pelloria.VectorGame: n games stepped in one call, with the methods and
// attributes of a Gymnasium vector environment that resets a game in the
// step it ends.
#include "python/bindings.h"
#include "python/seed_sequence.h"

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// step() runs without the GIL; another thread inside the same VectorGame
// meanwhile would play into the same games, so it is refused.
class Exclusive
{
public:
    explicit Exclusive(std::atomic<bool> &busy) : busy(busy)
    {
        if (busy.exchange(true))
            throw std::runtime_error("this VectorGame is in use by another thread: give each thread its own");
    }
    ~Exclusive() { busy = false; }
    Exclusive(const Exclusive &) = delete;
    Exclusive &operator=(const Exclusive &) = delete;

private:
    std::atomic<bool> &busy;
};

// A game that ended in this step, as it ended, before it is laid out again.
struct Ended {
    size_t index = 0;
    int32_t obs[GameCore::observationSize] = {};
    GameSummary summary;
};

template <typename T>
py::array_t<T> vectorOf(size_t n)
{
    return py::array_t<T>(py::ssize_t(n));
}

// The arrays step() hands back, made with the GIL and filled without it.
struct StepResults {
    StepResults(size_t n, bool flat)
        : obs(n, flat), rewards(vectorOf<float>(n)), terminated(vectorOf<bool>(n)), truncated(vectorOf<bool>(n)),
          survived(vectorOf<bool>(n)), seeds(vectorOf<uint32_t>(n)), endedSeed(vectorOf<int64_t>(n)),
          radius(vectorOf<int32_t>(n)), rank(vectorOf<int32_t>(n)), steps(vectorOf<int32_t>(n)),
          out{rewards.mutable_data(), terminated.mutable_data(), truncated.mutable_data(), survived.mutable_data(),
              seeds.mutable_data(), endedSeed.mutable_data(), radius.mutable_data(), rank.mutable_data(),
              steps.mutable_data()}
    {
    }

    // What game `i` gave in this step, before it is laid out again.
    void record(size_t i, const StepOutcome &o, const GameCore &game)
    {
        out.rewards[i] = o.reward;
        out.terminated[i] = o.terminated;
        out.truncated[i] = o.truncated;
        out.survived[i] = game.agent0Survived();
        out.endedSeed[i] = game.over() ? int64_t(game.seed()) : -1;
        out.radius[i] = game.agent0Radius();
        out.rank[i] = game.agent0Rank();
        out.steps[i] = game.steps();
    }

    // The game now in slot `i`: the same, or the next one.
    void show(size_t i, const GameCore &game)
    {
        obs.fill(i, game);
        out.seeds[i] = game.seed();
    }

    BatchObservation obs;
    py::array_t<float> rewards;
    py::array_t<bool> terminated, truncated, survived;
    py::array_t<uint32_t> seeds;
    py::array_t<int64_t> endedSeed;
    py::array_t<int32_t> radius, rank, steps;
    struct {
        float *rewards;
        bool *terminated, *truncated, *survived;
        uint32_t *seeds;
        int64_t *endedSeed;
        int32_t *radius, *rank, *steps;
    } out;
};

// Seeds first .. first + n - 1 must not pass the last seed: wrapping to 0
// would play seed 1's game again.
void checkRoom(uint32_t first, size_t n)
{
    if (first > UINT32_MAX - (n - 1))
        throw py::value_error("seed " + std::to_string(first) + " leaves no room for " + std::to_string(n) +
                              " games before 4294967295, the last seed: give one from 1 to " +
                              std::to_string(UINT32_MAX - (n - 1)));
}

py::object objectArray(size_t n)
{
    // Kept for the life of the process: numpy outlives every call.
    static py::object *empty = new py::object(py::module_::import("numpy").attr("empty"));
    return (*empty)(n, py::arg("dtype") = "object");
}

// info's final_obs and final_info: the ended games' last observation and
// info at their index, None elsewhere, and masks _final_obs, _final_info.
void addFinals(py::dict &info, const std::vector<Ended> &ended, size_t n, bool flat)
{
    py::object finalObs = objectArray(n), finalInfo = objectArray(n);
    auto mask = vectorOf<bool>(n);
    std::fill_n(mask.mutable_data(), n, false);
    for (const Ended &e : ended) {
        finalObs.attr("__setitem__")(e.index, observationFrom(e.obs, flat));
        finalInfo.attr("__setitem__")(e.index, informationOf(e.summary));
        mask.mutable_data()[e.index] = true;
    }
    info["final_obs"] = finalObs;
    info["_final_obs"] = mask;
    info["final_info"] = finalInfo;
    info["_final_info"] = mask.attr("copy")();
}

class VectorGame
{
public:
    VectorGame(int n, std::optional<uint32_t> seed, int maxSteps, bool playOut, bool flat)
        : number(size_t(n)), flat(flat), pendingSeed(seed)
    {
        games.reserve(size_t(n));
        for (int i = 0; i < n; ++i)
            games.push_back(std::make_unique<GameCore>(maxSteps, playOut));
        codes.resize(size_t(n));
    }

    py::tuple reset(const py::object &seed, const py::object &options, const py::object &seeds);
    py::tuple step(const py::handle &actions);

    void close()
    {
        Exclusive use(busy);
        games.clear();
        games.shrink_to_fit();
        closed = true;
    }

    size_t size() const { return number; }
    py::object singleObservationSpace();
    py::object observationSpaceAll();
    py::object singleActionSpace();
    py::object actionSpaceAll();

    const size_t number;
    const bool flat;

private:
    void checkOpen() const
    {
        if (closed)
            throw py::value_error("this VectorGame is closed");
    }

    std::vector<uint32_t> seedsFor(const py::object &seed);
    std::vector<uint32_t> consecutiveSeeds(uint32_t first);
    void play(StepResults &results);

    std::vector<std::unique_ptr<GameCore>> games;
    std::vector<uint8_t> codes;
    std::vector<Ended> ended;
    SeedSequence sequence;
    bool rooted = false;
    bool started = false;
    bool closed = false;
    std::optional<uint32_t> pendingSeed; // the constructor's, for the first reset()
    std::atomic<bool> busy{false};
    py::object spaces[4];
};

std::vector<uint32_t> VectorGame::consecutiveSeeds(uint32_t first)
{
    checkRoom(first, number);
    std::vector<uint32_t> seeds(number);
    for (size_t i = 0; i < number; ++i)
        seeds[i] = first + uint32_t(i);
    sequence.root(first);
    rooted = true;
    return seeds;
}

// seed None: the constructor's seed on the first reset, else the training
// sequence's next; an int: it and the n - 1 after it; a sequence: its n.
std::vector<uint32_t> VectorGame::seedsFor(const py::object &seed)
{
    if (seed.is_none() && pendingSeed)
        return consecutiveSeeds(*pendingSeed);
    if (seed.is_none()) {
        if (!rooted)
            sequence.root(SeedSequence::entropyRoot());
        rooted = true;
        std::vector<uint32_t> seeds(number);
        for (uint32_t &s : seeds)
            s = sequence.next();
        return seeds;
    }
    const bool many = py::isinstance<py::list>(seed) || py::isinstance<py::tuple>(seed) ||
                      (py::isinstance<py::array>(seed) && py::reinterpret_borrow<py::array>(seed).ndim() > 0);
    if (!many)
        return consecutiveSeeds(seedFrom(seed));
    const py::sequence items = py::reinterpret_borrow<py::sequence>(seed);
    if (items.size() != number)
        throw py::value_error("seeds must hold " + std::to_string(number) + " seeds, one a game, not " +
                              std::to_string(items.size()));
    std::vector<uint32_t> seeds(number);
    for (size_t i = 0; i < number; ++i)
        seeds[i] = seedFrom(items[i], "seeds[" + std::to_string(i) + "]");
    sequence.rootAll(seeds.data(), number);
    rooted = true;
    return seeds;
}

py::tuple VectorGame::reset(const py::object &seed, const py::object &options, const py::object &seeds)
{
    Exclusive use(busy);
    checkOpen();
    checkOptions(options);
    if (!seed.is_none() && !seeds.is_none())
        throw py::value_error("give seed or seeds, not both");
    const std::vector<uint32_t> chosen = seedsFor(seeds.is_none() ? seed : seeds);
    pendingSeed.reset();
    BatchObservation obs(number, flat);
    auto shown = vectorOf<uint32_t>(number);
    for (size_t i = 0; i < number; ++i) {
        games[i]->reset(chosen[i]);
        obs.fill(i, *games[i]);
        shown.mutable_data()[i] = chosen[i];
    }
    started = true;
    py::dict info;
    info["seed"] = shown;
    return py::make_tuple(obs.result(), info);
}

void VectorGame::play(StepResults &results)
{
    ended.clear();
    for (size_t i = 0; i < number; ++i) {
        GameCore &game = *games[i];
        const StepOutcome o = game.step(codes[i]);
        results.record(i, o, game);
        if (game.over()) {
            Ended &e = ended.emplace_back();
            e.index = i;
            game.observe(e.obs);
            e.summary = summaryOf(game);
            game.reset(sequence.next());
        }
        results.show(i, game);
    }
}

py::tuple VectorGame::step(const py::handle &actions)
{
    Exclusive use(busy);
    checkOpen();
    if (!started)
        throw py::value_error("call reset() before step()");
    actionsFrom(actions, number, codes.data());
    StepResults results(number, flat);
    {
        py::gil_scoped_release release;
        play(results);
    }
    py::dict info;
    info["seed"] = results.seeds;
    info["ended_seed"] = results.endedSeed;
    info["agent0_radius"] = results.radius;
    info["agent0_rank"] = results.rank;
    info["steps"] = results.steps;
    info["agent0_survived"] = results.survived;
    if (!ended.empty())
        addFinals(info, ended, number, flat);
    return py::make_tuple(results.obs.result(), results.rewards, results.terminated, results.truncated, info);
}

py::object VectorGame::singleObservationSpace()
{
    if (!spaces[0])
        spaces[0] = observationSpace(flat);
    return spaces[0];
}

py::object VectorGame::observationSpaceAll()
{
    if (!spaces[1])
        spaces[1] = spacesModule().attr("batch")(singleObservationSpace(), number);
    return spaces[1];
}

py::object VectorGame::singleActionSpace()
{
    if (!spaces[2])
        spaces[2] = actionSpace();
    return spaces[2];
}

py::object VectorGame::actionSpaceAll()
{
    if (!spaces[3])
        spaces[3] = spacesModule().attr("batch")(singleActionSpace(), number);
    return spaces[3];
}

std::unique_ptr<VectorGame> makeVectorGame(const py::object &n, const py::object &seed, const py::object &maxSteps,
                                           const py::object &playOut, const py::object &flat)
{
    const int count = gameCountFrom(n);
    std::optional<uint32_t> first;
    if (!seed.is_none()) {
        first = seedFrom(seed);
        checkRoom(*first, size_t(count));
    }
    return std::make_unique<VectorGame>(count, first, stepLimitFrom(maxSteps), flagFrom(playOut, "play_out"),
                                        flagFrom(flat, "flat"));
}

} // namespace

void bindVectorGame(py::module_ &m)
{
    py::class_<VectorGame> vector(
        m, "VectorGame",
        "n games stepped in one call, each its own Game. A game that ends is laid out again in the same step "
        "with the next training seed; its obs is then the new game's, and info holds final_obs and final_info "
        "(object arrays, None where no game ended, with masks _final_obs and _final_info) of the game that "
        "ended, present when one did. info also tells, for every game, seed (of the game now in the slot), "
        "ended_seed (-1 where none ended), and agent0_radius, agent0_rank, steps and agent0_survived of the "
        "game just stepped.");
    vector.def(py::init(&makeVectorGame), py::arg("n"), py::arg("seed") = py::none(),
               py::arg("max_steps") = defaultMaxSteps, py::arg("play_out") = false, py::arg("flat") = false)
        .def("reset", &VectorGame::reset, py::arg("seed") = py::none(), py::arg("options") = py::none(),
             py::kw_only(), py::arg("seeds") = py::none(),
             "Lays out games seed .. seed + n - 1, or the n seeds of a list, or (no seed) the constructor's "
             "seed the first time and the training sequence's next seeds after. Returns (obs, info).")
        .def("step", &VectorGame::step, py::arg("actions"),
             "actions: n ints from 0 to 8 (list, tuple or array). Returns (obs, rewards, terminated, truncated, info).")
        .def("close", &VectorGame::close, "Frees the games: later calls raise.")
        .def("__len__", &VectorGame::size)
        .def("__enter__", [](const py::object &self) { return self; })
        .def("__exit__", [](VectorGame &v, const py::args &) { v.close(); })
        .def_property_readonly("num_envs", &VectorGame::size)
        .def_property_readonly("single_observation_space", &VectorGame::singleObservationSpace)
        .def_property_readonly("observation_space", &VectorGame::observationSpaceAll)
        .def_property_readonly("single_action_space", &VectorGame::singleActionSpace)
        .def_property_readonly("action_space", &VectorGame::actionSpaceAll)
        .def_property_readonly("unwrapped", [](const py::object &self) { return self; });
    vector.attr("metadata") = environmentMetadata();
    vector.attr("render_mode") = py::none();
}
