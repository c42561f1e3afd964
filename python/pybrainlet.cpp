// libpybrainlet.so: a brainlet whose controller is a Python function,
// `controller(obs) -> int`, from a file: the one $PELLORIA_PY_CONTROLLER
// names, or else controller.py beside this library.
//
// The interpreter starts, and the file and numpy are imported, when the
// library is loaded: before pelloria-arena confines a game, so a controller
// that imports at its top works in the sandbox. obs is what pelloria.Game
// gives: a dict of int32 arrays radius, x, y (15 circles) and vx, vy (10
// agents).
//
// A controller that raises, or returns anything but an int, fails: in
// pelloria-arena ($PELLORIA_ARENA is set) the traceback goes to the game's
// log and the game is lost (the process ends with code 70); in the window
// agent 0 keeps action 0 from then on, said once on stderr.
#include "brainlet/brainlet.h"

#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

namespace py = pybind11;

namespace {

constexpr int failedInArena = 70;

const char *const bootstrap = R"PY(
import importlib.util, operator, sys, traceback
import numpy

# print() goes through the C library's streams, as a C controller's printf
# does: the arena then tags it with the seed and step, and nothing is left
# in a Python buffer when a game's process ends.
class CStream:
    def __init__(self, write):
        self._write = write
    def write(self, text):
        self._write(text)
        return len(text)
    def flush(self):
        pass
sys.stdout = CStream(write_stdout)
sys.stderr = CStream(write_stderr)

def load(path):
    found = importlib.util.spec_from_file_location("pelloria_controller", path)
    if found is None:
        raise ImportError(f"{path} is not a Python file")
    module = importlib.util.module_from_spec(found)
    sys.modules["pelloria_controller"] = module
    found.loader.exec_module(module)
    function = getattr(module, "controller", None)
    if not callable(function):
        raise TypeError(f"{path} defines no function controller(obs)")
    return function

# A traceback without source lines: reading them would open files, which a
# sandboxed game may not.
def describe(error):
    lines = ["Traceback (most recent call last):"]
    frame = error.__traceback__
    while frame is not None:
        code = frame.tb_frame.f_code
        lines.append(f'  File "{code.co_filename}", line {frame.tb_lineno}, in {code.co_name}')
        frame = frame.tb_next
    return "\n".join(lines) + "\n" + "".join(traceback.format_exception_only(type(error), error)).rstrip()

def call(function, obs):
    try:
        action = function(obs)
    except BaseException as error:
        return None, describe(error)
    if isinstance(action, bool) or not hasattr(action, "__index__"):
        return None, f"controller(obs) returned {action!r}, not an int"
    return operator.index(action), None
)PY";

struct Embedded {
    py::object call;
    py::object function;
    std::string failure; // set once it has failed
    bool inArena = false;
};
Embedded *embedded = nullptr;

std::string controllerFile()
{
    if (const char *path = std::getenv("PELLORIA_PY_CONTROLLER"); path && *path)
        return path;
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void *>(&controllerFile), &self) && self.dli_fname) {
        std::string dir = self.dli_fname;
        const size_t slash = dir.rfind('/');
        return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "/controller.py";
    }
    return "controller.py";
}

void fail(const std::string &why)
{
    if (embedded->inArena) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::exit(failedInArena); // the arena keeps what was printed, then counts the game lost
    }
    if (embedded->failure.empty()) {
        std::fprintf(stderr, "pelloria: the Python controller failed; agent 0 keeps action 0 from now on.\n%s\n",
                     why.c_str());
        std::fflush(stderr);
    }
    embedded->failure = why;
}

__attribute__((constructor)) void startPython()
{
    // numpy's math libraries would start threads of their own; a game's
    // process forks and must stay single-threaded.
    ::setenv("OPENBLAS_NUM_THREADS", "1", 0);
    ::setenv("OMP_NUM_THREADS", "1", 0);
    embedded = new Embedded;
    embedded->inArena = std::getenv("PELLORIA_ARENA") != nullptr;
    // Loaded as a plug-in, the interpreter's symbols are private to this
    // library; compiled modules such as numpy's need them global.
    Dl_info python{};
    if (::dladdr(reinterpret_cast<void *>(&Py_InitializeFromConfig), &python) && python.dli_fname)
        ::dlopen(python.dli_fname, RTLD_NOW | RTLD_GLOBAL | RTLD_NOLOAD);
    if (!Py_IsInitialized()) {
        // The interpreter this library was built for, whatever python3 comes
        // first on PATH: it finds its own standard library and packages.
        PyConfig config;
        PyConfig_InitPythonConfig(&config);
        config.install_signal_handlers = 0;
        PyConfig_SetBytesString(&config, &config.program_name, PELLORIA_PYTHON_EXECUTABLE);
        const PyStatus status = Py_InitializeFromConfig(&config);
        PyConfig_Clear(&config);
        if (PyStatus_Exception(status)) {
            embedded->failure = std::string("cannot start Python: ") + (status.err_msg ? status.err_msg : "unknown");
            std::fprintf(stderr, "pelloria: %s\n", embedded->failure.c_str());
            return;
        }
    }
    const std::string file = controllerFile();
    try {
        py::dict space;
        space["write_stdout"] = py::cpp_function([](const std::string &text) { std::fputs(text.c_str(), stdout); });
        space["write_stderr"] = py::cpp_function([](const std::string &text) { std::fputs(text.c_str(), stderr); });
        py::exec(bootstrap, space);
        embedded->call = space["call"];
        embedded->function = space["load"](file);
    } catch (const py::error_already_set &error) {
        embedded->failure = "cannot load the Python controller " + file + ": " + error.what();
        std::fprintf(stderr, "pelloria: %s\n", embedded->failure.c_str());
        std::fflush(stderr);
    }
}

py::array_t<int32_t> copy(const int *values, size_t count)
{
    return py::array_t<int32_t>(py::ssize_t(count), values);
}

} // namespace

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent, const size_t num_agents,
                                                      const size_t num_resources, const int *circleRadius,
                                                      const int *xCoordinate, const int *yCoordinate,
                                                      const int *xVelocity, const int *yVelocity)
{
    action = 0;
    if (!embedded->failure.empty()) {
        if (embedded->inArena)
            fail(embedded->failure);
        return;
    }
    (void)agent;
    const size_t circles = num_agents + num_resources;
    try {
        py::dict obs;
        obs["radius"] = copy(circleRadius, circles);
        obs["x"] = copy(xCoordinate, circles);
        obs["y"] = copy(yCoordinate, circles);
        obs["vx"] = copy(xVelocity, num_agents);
        obs["vy"] = copy(yVelocity, num_agents);
        const py::tuple result = embedded->call(embedded->function, obs);
        if (!result[1].is_none()) {
            fail(result[1].cast<std::string>());
            return;
        }
        const long long chosen = result[0].cast<long long>();
        // Like any plug-in's: outside 0..8 means no acceleration.
        action = chosen < 0 || chosen >= BRAINLET_ACTIONS ? 0 : int(chosen);
    } catch (const std::exception &error) {
        fail(error.what());
    }
}
