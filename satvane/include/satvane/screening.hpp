// Screening a catalogue: the passes of many satellites over many observers in one interval,
// on several threads.
//
// Per satellite-observer pair the passes are those of TransitIter with the same options, found
// with far less work. Each satellite is propagated once per grid time and every observer reads
// that state: while the central angle between the observer and the sub-satellite point exceeds
// the largest angle at which the satellite can reach the minimum elevation by more than the
// ground track can travel in half a grid step (TransitStep's bounds), the satellite cannot be
// up, and that stretch of the interval is skipped. The stretches left over start and end at
// instants at which the satellite is provably below the minimum (or at the interval's ends).
// Within one, the elevation is scanned on an ephemeris interpolated between the grid states
// (septic Hermite from positions, velocities, and the accelerations and jerks of gravity with
// J2: within 8 m of the propagator for low orbits, 330 m for Molniya orbits near perigee),
// every `min_step` below the minimum (striding over what is provably out of reach) and every
// `walk_step` inside a pass, as TransitIter samples. Each edge is then settled by Newton steps
// on the real elevation from the interpolated crossing, to within the predictor's time
// tolerance, and each peak likewise on the real elevation rate (or by the secant of two rates
// either side); what that cannot settle goes to the root finder, and a stretch it cannot make
// sense of to TransitIter itself. Passes shorter than `min_step` may be missed by either
// search, as TransitIter documents; the bounds hold while the orbit stays within 0.5 % of its
// element set's semi-major axis.
//
// Failures: a propagation failure or a state below the Earth's surface (the propagator goes on
// past an orbit's decay with positions inside the Earth) ends that satellite's screening, with
// its passes up to then kept and one error naming it; other failures of a pair's search (a pass
// longer than max_transit_duration, a refinement that does not converge) are errors of that pair,
// whose search goes on after them as TransitIter's does. The rest of the catalogue goes on.
//
// Nothing is allocated per sample: each worker thread owns its buffers, and results grow by
// pass and by error.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "satvane/frames.hpp"
#include "satvane/predictor.hpp"
#include "satvane/time.hpp"
#include "satvane/transits.hpp"
#include "satvane/vectors.hpp"

namespace satvane {

struct ScreeningRequest {
  std::span<const Predictor* const> satellites;  // owned by the caller for the whole run
  std::span<const GeodeticPoint> observers;
  TimeInterval interval;
  double min_elevation_deg = 0.0;
  TransitIterOpts opts{};
};

// One pass of one satellite over one observer, with its peak as max_elevation finds it.
struct ScreenedPass {
  std::size_t satellite;
  std::size_t observer;
  Instant aos;
  Instant peak;
  Instant los;
  double peak_elevation_rad;
  double aos_azimuth_rad;
  double peak_azimuth_rad;
  double los_azimuth_rad;
  double peak_range_m;
  bool sunlit_at_peak;
  bool cut;  // clamped at an end of the interval, or at the satellite's decay
  friend bool operator==(const ScreenedPass&, const ScreenedPass&) = default;
};

// A failure. `observer` is empty when the whole satellite failed (then `time` is the instant
// from which its passes are missing); for a pair's failure it is the start of the stretch of
// the pair's search that failed.
struct ScreeningError {
  std::size_t satellite;
  std::optional<std::size_t> observer;
  Instant time;
  std::string text;
  friend bool operator==(const ScreeningError&, const ScreeningError&) = default;
};

// The text of a satellite's decay.
inline constexpr const char* kDecayedText = "below the Earth's surface: the orbit has decayed";

struct ScreeningResult {
  std::vector<ScreenedPass> passes;  // by satellite, observer, AoS
  std::vector<ScreeningError> errors;  // by satellite, then satellite-wide first, then observer
};

// The passes and errors of one satellite, appended to `out`. Owns the buffers one thread needs.
class SatelliteScreen {
 public:
  explicit SatelliteScreen(const ScreeningRequest& request);

  void screen(std::size_t satellite, ScreeningResult& out, const std::atomic<bool>& cancelled);

 private:
  struct Stretch {
    std::size_t observer;
    Instant start;
    Instant end;
    bool cut_at_end;  // ends at the satellite's decay or failure, not at a provably low instant
  };
  struct GridState {
    double x_s;  // since the interval start
    Vec3 position_m;
    Vec3 velocity_m_s;  // ECEF
    Vec3 acceleration_m_s2;  // ECEF, of gravity with J2 in the rotating frame
    Vec3 jerk_m_s3;          // its rate of change
  };
  // The interpolated ECEF position between two grid states: a septic in u = (x - start) / length
  // on [0, 1], as power-basis coefficients (constant term first).
  struct Segment {
    double start_s;
    double per_length_s;  // 1 / its length
    std::array<Vec3, 8> coefficients;
    static Segment between(const GridState& a, const GridState& b);
  };
  // The highest scan sample of a pass and the samples either side of it, which bracket a peak.
  struct Summit {
    double best_s;
    double before_s;
    double after_s;
  };
  struct Crossing;
  struct Look;
  struct ScreeningRun {
    const Predictor& predictor;
    const TransitIterOpts& opts;
  };
  // Each returns the propagation failure that ends the satellite's screening, if any. The fast
  // search scans the interpolated ephemeris and refines with the propagator; the exact one is
  // TransitIter's, for what the fast one cannot settle.
  std::optional<Error> search_stretch(std::size_t satellite, const Stretch& stretch, const ScreeningRun& run,
                                      ScreeningResult& out);
  std::optional<Error> search_stretch_exact(std::size_t satellite, const Stretch& stretch, ScreeningResult& out);
  std::optional<Error> retry_exact(std::size_t satellite, const Stretch& stretch, std::size_t first_row,
                                   ScreeningResult& out);
  // The interpolated elevation seen by one observer, and how long the satellite provably stays
  // out of its reach. Offsets are seconds since the interval start.
  struct Scan {
    // Out of the observer's reach the satellite is below the minimum for certain, and the scan
    // needs no more than that: its height is then kOutOfReach.
    static constexpr double kOutOfReach = -3.0;
    struct Sample {
      double height;            // >= 0 at or above the minimum elevation
      double out_of_reach_s;    // how long it stays out of reach; 0 within reach
    };
    Scan(const SatelliteScreen& screen, std::size_t observer, Instant start, double step_s, double inside_step_s);
    double height(double x_s) const;
    double height_at(const Vec3& position_m) const;
    Sample sample(double x_s) const;
    // The stride to the next sample after one below (or at or above) the minimum.
    double stride_s(const Sample& at, bool inside) const;
    // Where the interpolated elevation crosses the minimum between a and b, and where it peaks
    // within [a, b].
    double crossing_s(double a_s, double b_s, bool rising) const;
    struct Peak {
      double at_s;
      double curvature_s2;  // of the height there; 0 when the search found no clear peak
    };
    Peak peak(double a_s, double b_s) const;
    double offset_s(Instant t) const;
    Instant instant(double x_s) const;

    const SatelliteScreen& screen;
    Vec3 origin_m;
    Vec3 up;
    Vec3 observer_unit;
    double cos_visible_angle;  // below -1 when always within reach
    double max_elevation_rate_rad_s;
    Instant start;
    double sin_min;
    double step_s;         // below the minimum: passes longer than this are seen
    double inside_step_s;  // above it: the walk step
  };
  std::expected<Look, Error> look(const Predictor& predictor, std::size_t observer, Instant t) const;
  std::expected<std::optional<Look>, Error> settle_edge(const Predictor& predictor, const Scan& scan,
                                                        std::size_t observer, const Crossing& crossing) const;
  std::expected<std::optional<Look>, Error> settle_peak(const Predictor& predictor, const Scan& scan,
                                                        std::size_t observer, const Summit& summit, double aos_s,
                                                        double los_s) const;
  std::expected<ScreenedPass, Error> describe_fast(const Predictor& predictor, std::size_t observer, const Look& aos,
                                                   const Look& los, const Summit& summit, const Scan& scan);
  Vec3 position_at(double x_s) const;

  const ScreeningRequest& request_;
  double min_elevation_rad_;
  std::vector<EnuFrame> frames_;
  std::vector<Vec3> observer_units_;     // geocentric unit vectors of the observers
  std::vector<Segment> ephemeris_;       // of the satellite being screened
  std::vector<Crossing> crossings_;
  std::vector<double> cos_threshold_;    // per observer, for the satellite being screened
  std::vector<double> visible_angle_rad_;  // per observer, for the satellite being screened
  std::vector<double> max_elevation_rate_rad_s_;  // per observer, for the satellite being screened
  double seconds_per_ground_rad_ = 0;    // of the satellite being screened: 1 / its highest ground rate
  double grid_steps_per_s_ = 0;          // of its grid
  std::vector<std::optional<Instant>> open_;  // per observer: start of the stretch in progress
  std::vector<Stretch> stretches_;
};

// A screening run on worker threads, started by the constructor. The caller polls it (for
// progress or to cancel); the destructor cancels and joins whatever still runs.
class ScreeningJob {
 public:
  ScreeningJob(const ScreeningRequest& request, std::size_t threads);
  ~ScreeningJob();
  ScreeningJob(const ScreeningJob&) = delete;
  ScreeningJob& operator=(const ScreeningJob&) = delete;

  // True once every satellite is done (or the run was cancelled and has stopped).
  bool wait_for(std::chrono::milliseconds timeout);
  std::size_t satellites_done() const { return done_.load(std::memory_order_relaxed); }
  void cancel() { cancelled_.store(true); }
  // The merged result, sorted; call after wait_for returned true.
  ScreeningResult take();

 private:
  void work();

  ScreeningRequest request_;
  std::vector<ScreeningResult> per_satellite_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::condition_variable finished_;
  std::size_t running_ = 0;  // worker threads still running, under mutex_
  std::vector<std::thread> threads_;
};

// The whole screening on `threads` worker threads, blocking.
ScreeningResult screen(const ScreeningRequest& request, std::size_t threads);

}  // namespace satvane
