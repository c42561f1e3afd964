// What a game shows Python: the observation (a dict of int32 arrays by name,
// or one float32 vector of them end to end) and the info dict.
#include "python/bindings.h"

#include <algorithm>
#include <vector>

namespace {

constexpr py::ssize_t circles = GameCore::circles;
constexpr py::ssize_t agents = GameCore::agents;

py::array_t<int32_t> intArray(std::vector<py::ssize_t> shape)
{
    return py::array_t<int32_t>(std::move(shape));
}

// A dict of these arrays, under the observation's names.
py::dict namedArrays(const py::object *arrays)
{
    py::dict obs;
    const char *const names[5] = {"radius", "x", "y", "vx", "vy"};
    for (int k = 0; k < 5; ++k)
        obs[names[k]] = arrays[k];
    return obs;
}

// The shape of an array of n games' observations, a row each.
std::vector<py::ssize_t> shapeOf(size_t n, py::ssize_t width)
{
    return {py::ssize_t(n), width};
}

} // namespace

py::object observationFrom(const int32_t *values, bool flat)
{
    if (flat) {
        py::array_t<float> out(GameCore::observationSize);
        std::copy_n(values, GameCore::observationSize, out.mutable_data());
        return std::move(out);
    }
    const py::ssize_t widths[5] = {circles, circles, circles, agents, agents};
    py::object arrays[5];
    for (int k = 0; k < 5; ++k) {
        // Made, then filled: made from a pointer, an array is made twice.
        auto array = intArray({widths[k]});
        std::copy_n(values, widths[k], array.mutable_data());
        arrays[k] = std::move(array);
        values += widths[k];
    }
    return namedArrays(arrays);
}

py::object observationOf(const GameCore &game, bool flat)
{
    int32_t values[GameCore::observationSize];
    game.observe(values);
    return observationFrom(values, flat);
}

GameSummary summaryOf(const GameCore &game)
{
    GameSummary s;
    s.seed = game.seed();
    s.steps = game.steps();
    s.agent0Radius = game.agent0Radius();
    s.alive = game.alive();
    s.over = game.over();
    s.outcome = game.outcome();
    s.agent0Rank = game.agent0Rank();
    s.agent0Survived = game.agent0Survived();
    return s;
}

py::dict informationOf(const GameSummary &game)
{
    py::dict info;
    info["seed"] = game.seed;
    info["step"] = game.steps;
    info["agent0_radius"] = game.agent0Radius;
    info["alive"] = game.alive;
    if (game.over) {
        info["outcome"] = game.outcome;
        info["agent0_rank"] = game.agent0Rank;
        info["agent0_survived"] = game.agent0Survived;
    }
    return info;
}

BatchObservation::BatchObservation(size_t n, bool flat) : flat(flat)
{
    if (flat) {
        auto values = py::array_t<float>(shapeOf(n, GameCore::observationSize));
        flatRows = values.mutable_data();
        arrays[0] = std::move(values);
        return;
    }
    const py::ssize_t widths[5] = {circles, circles, circles, agents, agents};
    for (int k = 0; k < 5; ++k) {
        auto array = intArray(shapeOf(n, widths[k]));
        rows[k] = array.mutable_data();
        arrays[k] = std::move(array);
    }
}

void BatchObservation::fill(size_t row, const GameCore &game)
{
    if (flat) {
        game.observe(flatRows + row * GameCore::observationSize);
        return;
    }
    game.observe(rows[0] + row * circles, rows[1] + row * circles, rows[2] + row * circles, rows[3] + row * agents,
                 rows[4] + row * agents);
}

py::object BatchObservation::result() const
{
    return flat ? arrays[0] : py::object(namedArrays(arrays));
}
