// What Python hands the module, checked before anything is played: a wrong
// value raises at once, naming what was expected, instead of playing
// something else silently.
#include "python/bindings.h"

#include <climits>

namespace {

std::string typeName(const py::handle &value)
{
    return py::str(py::type::of(value).attr("__name__"));
}

std::string reprText(const py::handle &value)
{
    return py::repr(value);
}

std::string rangeText(long long low, long long high)
{
    return "from " + std::to_string(low) + " to " + std::to_string(high);
}

// A whole number (numpy's integers count; floats and bools do not), or a
// TypeError saying that `what` must be one from `low` to `high`.
py::int_ wholeNumber(const py::handle &value, const std::string &what, long long low, long long high)
{
    if (py::isinstance<py::bool_>(value) || py::isinstance<py::float_>(value) || !py::hasattr(value, "__index__"))
        throw py::type_error(what + " must be an int " + rangeText(low, high) + ", not " + typeName(value));
    return py::int_(value.attr("__index__")());
}

// A whole number from `low` to `high`, or an error saying so. The texts are
// made only to refuse.
long long boundedNumber(const py::handle &value, const std::string &what, long long low, long long high)
{
    const py::int_ number = wholeNumber(value, what, low, high);
    if (number < py::int_(low) || number > py::int_(high))
        throw py::value_error(what + " must be " + rangeText(low, high) + ", not " + reprText(number));
    return number.cast<long long>();
}

constexpr int lastAction = GameCore::actions - 1;

// The actions of an integer array, checked in the array's own type so that
// no value is wrapped before it is judged.
template <typename T>
void actionsFromArray(const py::array &array, size_t n, uint8_t *out)
{
    const auto values = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(array);
    const T *v = values.data();
    for (size_t i = 0; i < n; ++i) {
        if (v[i] < 0 || v[i] > T(lastAction))
            throw py::value_error("actions[" + std::to_string(i) + "] must be from 0 to 8, not " +
                                  std::to_string(v[i]));
        out[i] = uint8_t(v[i]);
    }
}

std::string shapeText(const py::array &array)
{
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d)
        text += std::to_string(array.shape(d)) + (array.ndim() == 1 ? "," : d + 1 < array.ndim() ? ", " : "");
    return text + ")";
}

void actionsFromNumpy(const py::array &array, size_t n, uint8_t *out)
{
    const char kind = array.dtype().kind();
    if (kind != 'i' && kind != 'u')
        throw py::type_error("actions must be ints from 0 to 8, not an array of " + std::string(py::str(array.dtype())));
    if (array.ndim() != 1 || array.shape(0) != py::ssize_t(n))
        throw py::value_error("actions must have shape (" + std::to_string(n) + ",), one a game, not " +
                              shapeText(array));
    if (kind == 'i')
        actionsFromArray<int64_t>(array, n, out);
    else
        actionsFromArray<uint64_t>(array, n, out);
}

} // namespace

uint32_t seedFrom(const py::handle &value, const std::string &what)
{
    if (wholeNumber(value, what, 1, UINT32_MAX).equal(py::int_(0)))
        throw py::value_error(what + " 0 plays the same game as seed 1 (the C library's generator reads 0 as 1): "
                                     "give a seed from 1 to 4294967295");
    return uint32_t(boundedNumber(value, what, 1, UINT32_MAX));
}

int actionFrom(const py::handle &value)
{
    // A plain int, the usual case, without the general path's lookups.
    if (PyLong_CheckExact(value.ptr())) {
        int overflow = 0;
        const long action = PyLong_AsLongAndOverflow(value.ptr(), &overflow);
        if (overflow == 0 && action >= 0 && action <= lastAction)
            return int(action);
    }
    return int(boundedNumber(value, "action", 0, lastAction));
}

void actionsFrom(const py::handle &value, size_t n, uint8_t *out)
{
    if (py::isinstance<py::array>(value))
        return actionsFromNumpy(py::reinterpret_borrow<py::array>(value), n, out);
    if (!py::isinstance<py::list>(value) && !py::isinstance<py::tuple>(value))
        throw py::type_error("actions must be a list, tuple or NumPy array of " + std::to_string(n) +
                             " ints from 0 to 8, not " + typeName(value));
    const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
    if (items.size() != n)
        throw py::value_error("actions must hold " + std::to_string(n) + " actions, one a game, not " +
                              std::to_string(items.size()));
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(boundedNumber(items[i], "actions[" + std::to_string(i) + "]", 0, lastAction));
}

int stepLimitFrom(const py::handle &value)
{
    return int(boundedNumber(value, "max_steps", 1, INT_MAX));
}

int gameCountFrom(const py::handle &value)
{
    // Far beyond any use, and far below what would exhaust memory by
    // mistake (each game takes a few kilobytes).
    return int(boundedNumber(value, "n", 1, 1 << 20));
}

bool flagFrom(const py::handle &value, const char *what)
{
    if (!py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(what) + " must be True or False, not " + typeName(value));
    return value.cast<bool>();
}

py::object renderModeFrom(const py::handle &value)
{
    if (value.is_none() || (py::isinstance<py::str>(value) && value.cast<std::string>() == "rgb_array"))
        return py::reinterpret_borrow<py::object>(value);
    throw py::value_error("render_mode must be None or 'rgb_array', not " + reprText(value));
}

void checkOptions(const py::handle &options)
{
    if (options.is_none() || (py::isinstance<py::dict>(options) && py::len(options) == 0))
        return;
    throw py::value_error("reset() takes no options: give None, not " + reprText(options));
}
