// The disc station against its yardsticks, in one run (the targets are ratios):
// - from the last object received to the image written, against make-disc on
//   the same files from a folder (at most 1.3 times);
// - receiving every object over the loopback, against DCMTK's own storescp
//   receiving them (at most 1.3 times; storescp does not flush its files, the
//   station flushes each before it answers).
// The argument is the number of CT pictures of 512 x 512 (2,000:
// `--benchmark_filter=/2000/`); 200 for a quick look on a busy machine.
#include "make_disc.h"
#include "sample_medium.h"
#include "station.h"
#include "support/dicom_network.h"
#include "support/standin_programs.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>
#include <boost/filesystem.hpp>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

namespace fs = boost::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// DCMTK's sender here and storescp without Nagle's algorithm, as the station
// runs its own connections: otherwise every object waits for a delayed
// acknowledgement and both receivers measure the same 40 ms. Set before any thread starts.
const bool withoutNagle = (testsupport::dicomWithoutNagle(), true);

// make-disc-image and the other tools, built beside the benchmarks.
std::string toolFolder() { return fs::path(testsupport::toolPath("make-disc-image")).parent_path().string(); }

// One CT of `count` pictures, in files and loaded, so that sending costs the same every run.
struct Export {
  testsupport::ScratchFolder scratch;
  std::string folder;
  std::vector<std::unique_ptr<DcmFileFormat>> objects;
};

const Export &ctOf(int count) {
  static std::map<int, Export> made;
  Export &result = made[count];
  if (!result.folder.empty()) return result;
  result.folder = result.scratch.root();
  samplemedium::SampleMediumOptions options;
  options.studies = 1, options.seriesPerStudy = 4, options.imagesPerSeries = count / 4;
  options.navigatorProgram.clear(), options.artwork = false;
  samplemedium::SampleMediumSummary summary;
  std::string error;
  samplemedium::generateSampleMedium(result.folder + "/sample", options, &summary, &error);
  for (fs::recursive_directory_iterator it(result.folder + "/sample/DICOM"), end; it != end; ++it) {
    auto file = std::make_unique<DcmFileFormat>();
    if (fs::is_regular_file(it->path()) && file->loadFile(it->path().string().c_str()).good())
      result.objects.push_back(std::move(file));
  }
  return result;
}

// Sends every object on one association; false when one is not taken.
bool sendAll(const Export &source, int port) {
  DcmSCU scu;
  scu.setAETitle("BENCH"), scu.setPeerHostName("127.0.0.1"), scu.setPeerPort(static_cast<Uint16>(port));
  scu.setPeerAETitle("STATION");
  OFList<OFString> syntaxes;
  syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
  scu.addPresentationContext(UID_CTImageStorage, syntaxes);
  for (int tries = 0; scu.initNetwork().good() && scu.negotiateAssociation().bad(); ++tries)
    if (tries == 100)
      return false;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the receiver is starting
  for (const auto &object : source.objects) {
    Uint16 status = 0;
    if (scu.sendSTORERequest(0, "", object->getDataset(), status).bad() || status != 0) return false;
  }
  scu.releaseAssociation();
  return true;
}

discstation::StationSettings settingsIn(const std::string &folder) {
  discstation::StationSettings settings;
  settings.aet = "STATION", settings.port = testsupport::freePort(), settings.out = folder + "/out";
  settings.idleSeconds = 86400, settings.noNavigator = true, settings.artwork = false;
  settings.toolDirectory = toolFolder();
  return settings;
}

// The station in a thread of its own for one run.
struct Running {
  discstation::Station station;
  std::thread thread;
  explicit Running(const discstation::StationSettings &settings) : station(settings) {
    thread = std::thread([this] {
      std::string error;
      station.run(&error);
    });
  }
  ~Running() { station.stop(), thread.join(); }
};

// Processor time of this process's threads and of its waited-for children
// (make-disc-image, storescp): on a shared machine the wall time alone says
// more about the neighbours than about the work.
double processorSeconds() {
  double seconds = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage usage{};
    getrusage(who, &usage);
    seconds += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  return seconds;
}

// A step's wall time and processor time, from `start` to now.
struct Stopwatch {
  Clock::time_point wall = Clock::now();
  double processor = processorSeconds();
  void stop(double &seconds, double &cpu) const {
    seconds = std::chrono::duration<double>(Clock::now() - wall).count();
    cpu = processorSeconds() - processor;
  }
};

// Times one step by hand: the benchmark's clock would count the set-up of each
// run. The counter "cpu" is the step's processor time of every thread, in seconds.
template <typename Step>
void timed(benchmark::State &state, Step step) {
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);
  const Export &source = ctOf(static_cast<int>(state.range(0)));
  double cpu = 0;
  for (auto _ : state) {
    const testsupport::ScratchFolder run;
    double seconds = -1, used = 0;
    if (!step(source, run.root(), seconds, used)) state.SkipWithError("a step failed");
    state.SetIterationTime(seconds);
    cpu += used;
  }
  state.counters["cpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void stationToImage(benchmark::State &state) {
  timed(state, [](const Export &source, const std::string &folder, double &seconds, double &cpu) {
    discstation::StationSettings settings = settingsIn(folder);
    Running running(settings);
    if (!sendAll(source, settings.port)) return false;
    const Stopwatch watch;
    const bool made = running.station.makeAllAndWait() && running.station.madeJobs() == 1;
    watch.stop(seconds, cpu);
    return made;
  });
}

void makeDiscToImage(benchmark::State &state) {
  timed(state, [](const Export &source, const std::string &folder, double &seconds, double &cpu) {
    makedisc::MakeDiscOptions options;
    options.sources = {source.folder + "/sample/DICOM"};
    options.out = folder + "/disc", options.image = folder + "/disc.iso";
    options.navigatorProgram.clear(), options.artwork = false, options.toolDirectory = toolFolder();
    makedisc::MakeDiscSummary summary;
    std::string error;
    const Stopwatch watch;
    const bool made = makedisc::makeDisc(options, &summary, &error);
    watch.stop(seconds, cpu);
    return made;
  });
}

void stationReceives(benchmark::State &state) {
  timed(state, [](const Export &source, const std::string &folder, double &seconds, double &cpu) {
    discstation::StationSettings settings = settingsIn(folder);
    Running running(settings);
    const Stopwatch watch;
    const bool sent = sendAll(source, settings.port);
    watch.stop(seconds, cpu);
    return sent;
  });
}

void storescpReceives(benchmark::State &state) {
  timed(state, [](const Export &source, const std::string &folder, double &seconds, double &cpu) {
    const std::string port = std::to_string(testsupport::freePort());
    const char *argv[] = {"storescp", "-aet", "STATION", "-od", folder.c_str(), port.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "storescp", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
      return false;
    const Stopwatch watch;
    const bool sent = sendAll(source, std::stoi(port));
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);  // storescp's processor time counts once it is waited for
    watch.stop(seconds, cpu);
    return sent;
  });
}

}  // namespace

BENCHMARK(stationToImage)->Arg(2000)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(makeDiscToImage)
    ->Arg(2000)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(stationReceives)
    ->Arg(2000)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(storescpReceives)
    ->Arg(2000)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_MAIN();
