// The Python module `pelloria`: seeded games to play and train against, one
// at a time or many per call, with the conventions of Gymnasium's
// environments (spaces, metadata, render_mode, close) but without needing
// it, and frames painted by the game's own ArenaPainter.
#include "python/bindings.h"
#include "python/seed_sequence.h"
#include "python/spaces_source.h"

#include <pybind11/eval.h>

namespace {

// Made once at import and kept with the module.
py::module_ *spaces = nullptr;

// The spaces are Python (spaces.py, compiled in as text): run as a module
// of their own, pelloria.spaces, which pickle and import find.
py::module_ makeSpaces(py::module_ &m)
{
    py::module_ sub = m.def_submodule("spaces");
    sub.attr("__builtins__") = py::module_::import("builtins");
    py::exec(spacesSource, sub.attr("__dict__"));
    py::module_::import("sys").attr("modules")["pelloria.spaces"] = sub;
    return sub;
}

} // namespace

py::module_ spacesModule()
{
    return *spaces;
}

py::object observationSpace(bool flat)
{
    return spaces->attr("observation_space")(GameCore::circles, GameCore::agents, rules::maxArenaWidth,
                                             rules::maxArenaHeight, rules::maxRadius, maxSpeed, flat);
}

py::object actionSpace()
{
    return spaces->attr("Discrete")(GameCore::actions);
}

py::dict environmentMetadata()
{
    py::dict metadata;
    py::list modes;
    modes.append("rgb_array");
    metadata["render_modes"] = modes;
    metadata["render_fps"] = 1000 / rules::tickIntervalMs; // a step a tick, as the window plays
    return metadata;
}

PYBIND11_MODULE(pelloria, m)
{
    m.doc() = "Seeded Pelloria games under pelloria-arena's rules, for playing and training controllers. "
              "Game and VectorGame follow Gymnasium's Env and vector env conventions without needing it; "
              "pelloria.spaces holds their Box, Discrete, MultiDiscrete and Dict spaces.";
    m.attr("ACTIONS") = int(BRAINLET_ACTIONS);
    m.attr("AGENTS") = int(BRAINLET_AGENTS);
    m.attr("RESOURCES") = int(BRAINLET_RESOURCES);
    m.attr("ARENA_WIDTH") = int(BRAINLET_MAX_ARENA_WIDTH);
    m.attr("ARENA_HEIGHT") = int(BRAINLET_MAX_ARENA_HEIGHT);
    m.attr("MAX_RADIUS") = int(BRAINLET_MAX_RADIUS);
    m.attr("MAX_SPEED") = maxSpeed;
    m.attr("DEATH_PENALTY") = deathPenalty;
    m.attr("OBSERVATION_SIZE") = GameCore::observationSize;
    // Seeds 1 and up are pelloria-arena's evaluation seeds; games nobody
    // names a seed for are played from here to 2**32 - 1.
    m.attr("FIRST_TRAINING_SEED") = firstTrainingSeed;
    spaces = new py::module_(makeSpaces(m));
    m.attr("FLAT_SLICES") = spaces->attr("flat_slices")(GameCore::circles, GameCore::agents);
    bindGame(m);
    bindVectorGame(m);
}
