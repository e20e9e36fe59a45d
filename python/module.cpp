// The Python binding of the C interface: the JSON call, with the GIL
// released while the job runs. The package (vemtrac/__init__.py) turns the
// JSON into a dict and checks the arguments.
#include <pybind11/pybind11.h>

#include <string>

#include "vemtrac/vemtrac.h"

namespace py = pybind11;

namespace {

// The report of the job given as bytes, as the JSON text the library gives.
py::str report_json(const py::bytes& job, const std::string& options_json)
{
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(job.ptr(), &data, &size) != 0) {
        throw py::error_already_set();
    }
    char* text = nullptr;
    {
        // The bytes object is immutable and held by the caller meanwhile.
        const py::gil_scoped_release unlocked;
        text = vemtrac_report_json(data, static_cast<size_t>(size), options_json.c_str());
    }
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    py::str result(text);
    vemtrac_free(text);
    return result;
}

} // namespace

PYBIND11_MODULE(_vemtrac, m)
{
    m.doc() = "The estimator's C interface (use the vemtrac package).";
    m.def("version", [] { return std::string(vemtrac_version()); });
    m.def("report_json", &report_json, py::arg("job"), py::arg("options_json"));
}
