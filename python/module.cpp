// The Python binding of the C interface: the JSON calls, with the GIL
// released while the jobs run; and the program's test of a job file, for
// the batch command's output. The package (vemtrac/__init__.py) turns the
// JSON into a dict and checks the arguments.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/file_kind.h"
#include "vemtrac/vemtrac.h"

namespace py = pybind11;

namespace {

// The bytes of a bytes object, which the caller holds unchanged meanwhile.
std::string_view job_bytes(const py::bytes& job)
{
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(job.ptr(), &data, &size) != 0) {
        throw py::error_already_set();
    }
    return {data, static_cast<std::size_t>(size)};
}

// The library's text as a str, the text freed.
py::str take_text(char* text)
{
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    py::str result(text);
    vemtrac_free(text);
    return result;
}

// The report of the job given as bytes, as the JSON text the library gives.
py::str report_json(const py::bytes& job, const std::string& options_json)
{
    const std::string_view bytes = job_bytes(job);
    char* text = nullptr;
    {
        const py::gil_scoped_release unlocked;
        text = vemtrac_report_json(bytes.data(), bytes.size(), options_json.c_str());
    }
    return take_text(text);
}

// The sweep of one setting over the values, as the JSON text the library
// gives.
py::str sweep_json(const py::bytes& job, const std::string& key,
                   const std::vector<std::int64_t>& values, const std::string& options_json)
{
    const std::string_view bytes = job_bytes(job);
    char* text = nullptr;
    {
        const py::gil_scoped_release unlocked;
        text = vemtrac_sweep_json(bytes.data(), bytes.size(), key.c_str(), values.data(),
                                  values.size(), options_json.c_str());
    }
    return take_text(text);
}

// A design turned into a job: the job's bytes and the library's JSON.
py::tuple import_json(const py::bytes& design, const std::string& name,
                      const std::string& settings_json)
{
    const std::string_view bytes = job_bytes(design);
    char* text = nullptr;
    char* job = nullptr;
    std::size_t job_len = 0;
    {
        const py::gil_scoped_release unlocked;
        text = vemtrac_import_json(bytes.data(), bytes.size(), name.c_str(), settings_json.c_str(),
                                   &job, &job_len);
    }
    py::bytes job_out = job != nullptr ? py::bytes(job, job_len) : py::bytes();
    vemtrac_free(job);
    return py::make_tuple(job_out, take_text(text));
}

} // namespace

PYBIND11_MODULE(_vemtrac, m)
{
    m.doc() = "The estimator's C interface (use the vemtrac package).";
    m.def("version", [] { return std::string(vemtrac_version()); });
    m.def("report_json", &report_json, py::arg("job"), py::arg("options_json"));
    m.def("sweep_json", &sweep_json, py::arg("job"), py::arg("key"), py::arg("values"),
          py::arg("options_json"));
    m.def("import_json", &import_json, py::arg("design"), py::arg("name"),
          py::arg("settings_json"));
    // The program's own test of a file an output must never replace.
    m.def("reads_as_job_file", [](const std::string& path) { return file_reads_as_job_file(path); },
          py::arg("path"));
}
