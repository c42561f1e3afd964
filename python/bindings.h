// What the parts of the Python module `pelloria` share: the checks of what
// Python hands in, the observations handed out, and the spaces.
#ifndef PELLORIA_BINDINGS_H
#define PELLORIA_BINDINGS_H

#include "engine/game_rules.h"
#include "python/game_core.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

namespace py = pybind11;

constexpr int defaultMaxSteps = 100000;
// The handbook's speed cap, 5 * floor(200 / r) per axis, at its largest (r = 1).
constexpr int maxSpeed = 5 * rules::maxRadius;

// --- arguments.cpp: every refusal says what was expected ---------------------

// A seed from 1 to 2^32 - 1; 0 is refused, since it plays as 1.
uint32_t seedFrom(const py::handle &value, const std::string &what = "seed");
// An action from 0 to 8.
int actionFrom(const py::handle &value);
// n actions from a list, a tuple or a NumPy array of ints, into `out`.
void actionsFrom(const py::handle &value, size_t n, uint8_t *out);
int stepLimitFrom(const py::handle &value);
int gameCountFrom(const py::handle &value);
bool flagFrom(const py::handle &value, const char *what);
// None or "rgb_array".
py::object renderModeFrom(const py::handle &value);
// reset()'s options: None or an empty dict; there are none to give.
void checkOptions(const py::handle &options);

// --- observations.cpp -------------------------------------------------------

// What the info dict tells of a game, kept apart from the game so that it
// can be taken without the GIL and handed out with it.
struct GameSummary {
    uint32_t seed = 0;
    int steps = 0;
    int agent0Radius = 0;
    int alive = 0;
    bool over = false;
    const char *outcome = "";
    int agent0Rank = 0;
    bool agent0Survived = false;
};
GameSummary summaryOf(const GameCore &game);
py::dict informationOf(const GameSummary &game);

// An observation from values in the order of GameCore::observationSize.
py::object observationFrom(const int32_t *values, bool flat);
py::object observationOf(const GameCore &game, bool flat);

// The observations of n games, one row each: made with the GIL, filled
// without it.
class BatchObservation
{
public:
    BatchObservation(size_t n, bool flat);
    void fill(size_t row, const GameCore &game);
    py::object result() const;

private:
    bool flat;
    // The flat array, or the five by name; handles, since an empty array_t
    // would make an array of its own.
    py::object arrays[5];
    float *flatRows = nullptr;
    int32_t *rows[5] = {};
};

// --- render.cpp ---------------------------------------------------------------

py::array_t<uint8_t> renderFrame(const GameCore &game);

// --- pelloria_module.cpp: the conventions of reinforcement-learning libraries --

// pelloria.spaces, compiled in from spaces.py.
py::module_ spacesModule();
py::object observationSpace(bool flat);
py::object actionSpace();
py::dict environmentMetadata();

void bindGame(py::module_ &m);
void bindVectorGame(py::module_ &m);

#endif
