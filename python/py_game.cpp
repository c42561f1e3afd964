// pelloria.Game: one seeded game with the methods and attributes of a
// Gymnasium environment.
#include "python/bindings.h"
#include "python/seed_sequence.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// The layout of a pickled Game; a new layout takes a new number.
constexpr int pickleVersion = 1;
constexpr size_t pickleFields = 12;

class Game
{
public:
    Game(int maxSteps, bool playOut, bool flat, py::object renderMode)
        : core(maxSteps, playOut), flat(flat), renderMode(std::move(renderMode))
    {
    }

    py::tuple reset(const py::object &seed, const py::object &options)
    {
        checkOpen();
        checkOptions(options);
        core.reset(nextSeed(seed));
        history.clear();
        return py::make_tuple(observationOf(core, flat), informationOf(summaryOf(core)));
    }

    py::tuple step(const py::handle &action)
    {
        checkOpen();
        if (!core.started())
            throw py::value_error("call reset() before step()");
        const int code = actionFrom(action);
        if (!core.over())
            history.push_back(uint8_t(code));
        const StepOutcome o = core.step(code);
        return py::make_tuple(observationOf(core, flat), o.reward, o.terminated, o.truncated,
                              informationOf(summaryOf(core)));
    }

    py::array_t<uint8_t> render() const
    {
        checkOpen();
        if (!core.started())
            throw py::value_error("call reset() before render()");
        return renderFrame(core);
    }

    void close() { closed = true; }

    std::unique_ptr<Game> clone() const
    {
        auto copy = std::make_unique<Game>(core.stepLimit(), core.playsOut(), flat, renderMode);
        copy->core.copyFrom(core);
        copy->sequence = sequence;
        copy->rooted = rooted;
        copy->history = history;
        copy->closed = closed;
        return copy;
    }

    py::tuple state() const;
    static std::unique_ptr<Game> fromState(const py::tuple &state);

    py::object observationSpaceOnce()
    {
        if (!observationSpace_)
            observationSpace_ = observationSpace(flat);
        return observationSpace_;
    }

    py::object actionSpaceOnce()
    {
        if (!actionSpace_)
            actionSpace_ = actionSpace();
        return actionSpace_;
    }

    GameCore core;
    const bool flat;
    const py::object renderMode;

private:
    // A named seed, or the next of the training sequence, rooted in the
    // system's entropy when no seed was ever named.
    uint32_t nextSeed(const py::object &seed)
    {
        if (!seed.is_none()) {
            const uint32_t named = seedFrom(seed);
            sequence.root(named);
            rooted = true;
            return named;
        }
        if (!rooted)
            sequence.root(SeedSequence::entropyRoot());
        rooted = true;
        return sequence.next();
    }

    void checkOpen() const
    {
        if (closed)
            throw py::value_error("this Game is closed");
    }

    SeedSequence sequence;
    bool rooted = false;
    bool closed = false;
    // Agent 0's actions since the reset: a pickled game is its seed and
    // these, played again, so that it is exactly the game that was.
    std::vector<uint8_t> history;
    py::object observationSpace_, actionSpace_;
};

py::tuple Game::state() const
{
    const py::bytes actions(reinterpret_cast<const char *>(history.data()), history.size());
    return py::make_tuple(pickleVersion, core.stepLimit(), core.playsOut(), flat, renderMode, core.started(),
                          core.seed(), actions, sequence.base, sequence.count, rooted, closed);
}

// A field of a pickled Game that is not what it must be.
[[noreturn]] void badState(const std::string &what)
{
    throw py::value_error("not the state of a pickled pelloria.Game: " + what);
}

uint64_t wordFrom(const py::handle &value, const char *what)
{
    if (!py::isinstance<py::int_>(value) || value < py::int_(0) || value > py::int_(UINT64_MAX))
        badState(std::string(what) + " must be an int from 0 to 2**64 - 1");
    return value.cast<uint64_t>();
}

std::unique_ptr<Game> Game::fromState(const py::tuple &state)
{
    if (state.size() != pickleFields || !py::object(state[0]).equal(py::int_(pickleVersion)))
        badState("a tuple of " + std::to_string(pickleFields) + " fields, version " + std::to_string(pickleVersion));
    auto game = std::make_unique<Game>(stepLimitFrom(state[1]), flagFrom(state[2], "play_out"),
                                       flagFrom(state[3], "flat"), renderModeFrom(state[4]));
    if (flagFrom(state[5], "started")) {
        game->core.reset(seedFrom(state[6]));
        if (!py::isinstance<py::bytes>(state[7]))
            badState("the actions played must be bytes");
        for (const char c : state[7].cast<std::string>()) {
            const auto action = static_cast<unsigned char>(c);
            if (action >= GameCore::actions)
                badState("the actions played must be from 0 to 8, not " + std::to_string(action));
            if (game->core.over())
                badState("its actions go on after the game's end");
            game->core.step(action);
            game->history.push_back(action);
        }
    }
    game->sequence.base = wordFrom(state[8], "the root of the seeds");
    game->sequence.count = wordFrom(state[9], "the count of the seeds");
    game->rooted = flagFrom(state[10], "rooted");
    game->closed = flagFrom(state[11], "closed");
    return game;
}

std::unique_ptr<Game> makeGame(const py::object &maxSteps, const py::object &playOut, const py::object &flat,
                               const py::object &renderMode)
{
    return std::make_unique<Game>(stepLimitFrom(maxSteps), flagFrom(playOut, "play_out"), flagFrom(flat, "flat"),
                                  renderModeFrom(renderMode));
}

py::object seedOrNone(const Game &g)
{
    return g.core.started() ? py::object(py::int_(g.core.seed())) : py::object(py::none());
}

} // namespace

void bindGame(py::module_ &m)
{
    py::class_<Game> game(m, "Game",
                          "One seeded game. reset(seed) lays it out; step(action) plays agent 0's action and one "
                          "step of the rules.\n\nreward: the change in agent 0's radius, and DEATH_PENALTY more "
                          "on the step it dies. terminated: the game is set, nobody is left, or agent 0 is dead "
                          "(with play_out=True, only the game's own end counts). truncated: max_steps reached. "
                          "Stepped again after its end, a game stays as it ended, with reward 0.\n\n"
                          "obs: a dict of int32 arrays radius, x, y (15 circles) and vx, vy (10 agents); with "
                          "flat=True one float32 array of those 65 values in that order (FLAT_SLICES).");
    game.def(py::init(&makeGame), py::arg("max_steps") = defaultMaxSteps, py::arg("play_out") = false,
             py::arg("flat") = false, py::arg("render_mode") = py::none())
        .def("reset", &Game::reset, py::arg("seed") = py::none(), py::arg("options") = py::none(),
             "Lays out the game of `seed` (1 to 2**32 - 1), or without one the next training seed "
             "(FIRST_TRAINING_SEED and up). Returns (obs, info).")
        .def("step", &Game::step, py::arg("action"), "action: 0 to 8. Returns (obs, reward, terminated, truncated, info).")
        .def("render", &Game::render, "The frame as an RGB uint8 array of shape (ARENA_HEIGHT, ARENA_WIDTH, 3).")
        .def("close", &Game::close, "Ends the game's use: later calls raise.")
        .def("clone", &Game::clone, "An independent copy that goes on exactly as this game would.")
        .def("__copy__", &Game::clone)
        .def("__deepcopy__", [](const Game &g, const py::handle &) { return g.clone(); }, py::arg("memo"))
        .def("__enter__", [](const py::object &self) { return self; })
        .def("__exit__", [](Game &g, const py::args &) { g.close(); })
        .def(py::pickle([](const Game &g) { return g.state(); }, [](const py::tuple &t) { return Game::fromState(t); }))
        .def_property_readonly("observation_space", &Game::observationSpaceOnce)
        .def_property_readonly("action_space", &Game::actionSpaceOnce)
        .def_property_readonly("render_mode", [](const Game &g) { return g.renderMode; })
        .def_property_readonly("unwrapped", [](const py::object &self) { return self; })
        .def_property_readonly("seed", &seedOrNone, "The seed of the game laid out, None before reset().")
        .def_property_readonly("steps", [](const Game &g) { return g.core.steps(); });
    game.attr("metadata") = environmentMetadata();
}
