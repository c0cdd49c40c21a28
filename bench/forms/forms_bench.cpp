// Times reading a form of 1,000 components (parsing, creating, setting
// properties, resolving references, Loaded) against writing the same form.
// The form: one server, then 333 times a query on it with three lines of SQL
// and two parameters, an update object it names, and a data source on it.
// Each timing is the best of several runs, in CPU time. Prints:
//   RATIO form_read_vs_write <read time / write time>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/data_module.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace {

using namespace tessel;

constexpr int kGroups = 333;
constexpr int kRuns = 7;

const char kUsage[] =
    "usage: bench_forms [--help]\n"
    "Builds a form of 1,000 components and prints how much longer reading it takes\n"
    "than writing it, as the line RATIO form_read_vs_write.\n";

// The process's CPU time: on a shared machine wall time would count the
// moments the scheduler gave the processor to someone else.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::unique_ptr<TDataModule> BuildForm() {
  auto module = std::make_unique<TDataModule>(nullptr);
  module->SetName("Bench");
  auto* server = new TSQLServer(module.get());
  server->SetName("Server");
  server->SetServerName("127.0.0.1:1433");
  server->SetUsername("sa");
  for (int i = 0; i < kGroups; ++i) {
    const std::string n = std::to_string(i);
    auto* query = new TTessel(module.get());
    query->SetName("Query" + n);
    query->SetSQLServer(server);
    query->SQL()->Add("select id, name, price");
    query->SQL()->Add("from parts");
    query->SQL()->Add("where id > :low and name <> :skip");
    query->ParamByName("low")->SetAsInteger(i);
    query->ParamByName("skip")->SetAsString("part " + n);
    auto* update = new TSQLUpdate(module.get());
    update->SetName("Update" + n);
    query->SetUpdateObject(update);
    auto* source = new TDataSource(module.get());
    source->SetName("Source" + n);
    source->SetDataSet(query);
  }
  return module;
}

int Run() {
  RegisterTesselClasses();
  const auto form = BuildForm();
  if (form->ComponentCount() != 1 + 3 * kGroups) throw std::runtime_error("wrong component count");
  const std::string text = WriteComponentText(*form);

  double write_best = 1e9, read_best = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    double start = CpuSeconds();
    const std::string written = WriteComponentText(*form);
    write_best = std::min(write_best, CpuSeconds() - start);
    if (written != text) throw std::runtime_error("the form was written differently");

    start = CpuSeconds();
    std::unique_ptr<TComponent> read = ReadComponentText(text, "bench.tfm");
    read_best = std::min(read_best, CpuSeconds() - start);
    if (read->ComponentCount() != form->ComponentCount()) {
      throw std::runtime_error("the form read back has the wrong component count");
    }
  }
  std::printf("RATIO form_read_vs_write %.3f\n", read_best / write_best);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const bool help = std::strcmp(argv[1], "--help") == 0;
    std::fputs(kUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  try {
    return Run();
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "bench_forms: %s: %s\n", e.ClassName().c_str(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_forms: %s\n", e.what());
  }
  return 1;
}
