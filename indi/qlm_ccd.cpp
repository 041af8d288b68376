#include "indi/qlm_ccd.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "camera/link.h"

namespace qlm::indi {

namespace {

constexpr double kMainPixelUm = 7.4;
constexpr double kGuidePixelUm = 7.4;
constexpr const char* kSimTab = "Simulation";
constexpr const char* kAOTab = "AO Unit";

std::uint32_t toMs(double seconds) {
  return static_cast<std::uint32_t>(std::lround(std::max(seconds, 0.0) * 1000.0));
}

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

QlmCcd::QlmCcd()
    : INDI::FilterInterface(this),
      session_([this](const std::string& text) { LOGF_INFO("%s", text.c_str()); }) {
  setVersion(QLM_VERSION_MAJOR, QLM_VERSION_MINOR);
  main_timer_.setSingleShot(true);
  main_timer_.callOnTimeout([this] { finishMainExposure(); });
  guide_timer_.setSingleShot(true);
  guide_timer_.callOnTimeout([this] { finishGuideExposure(); });
  for (int a = 0; a < 2; ++a) {
    pulse_timers_[a].setSingleShot(true);
    pulse_timers_[a].callOnTimeout([this, a] { finishPulse(static_cast<Axis>(a)); });
  }
}

QlmCcd::~QlmCcd() = default;

const char* QlmCcd::getDefaultName() {
  return "QLM T4 CCD";
}

bool QlmCcd::initProperties() {
  INDI::CCD::initProperties();
  INDI::FilterInterface::initProperties(FILTER_TAB);
  SetCCDCapability(CCD_CAN_ABORT | CCD_CAN_BIN | CCD_CAN_SUBFRAME | CCD_HAS_GUIDE_HEAD | CCD_HAS_ST4_PORT);
  setDriverInterface(getDriverInterface() | FILTER_INTERFACE | AO_INTERFACE);
  addCaptureFormat({"INDI_MONO", "Mono", 16, true});

  PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 0.001, 36000, 0.001, false);
  PrimaryCCD.setMinMaxStep("CCD_BINNING", "HOR_BIN", 1, 2, 1, false);
  PrimaryCCD.setMinMaxStep("CCD_BINNING", "VER_BIN", 1, 2, 1, false);
  GuideCCD.setMinMaxStep("GUIDER_EXPOSURE", "GUIDER_EXPOSURE_VALUE", 0.01, 3600, 0.01, false);
  GuideCCD.setMinMaxStep("GUIDER_BINNING", "HOR_BIN", 1, 1, 1, false);
  GuideCCD.setMinMaxStep("GUIDER_BINNING", "VER_BIN", 1, 1, 1, false);

  IUFillNumber(&ao_ns_[0], "AO_N", "North (steps)", "%.f", 0, 150, 1, 0);
  IUFillNumber(&ao_ns_[1], "AO_S", "South (steps)", "%.f", 0, 150, 1, 0);
  IUFillNumberVector(&ao_ns_p_, ao_ns_, 2, getDeviceName(), "AO_NS", "AO Tilt North/South", kAOTab, IP_RW, 60,
                     IPS_IDLE);
  IUFillNumber(&ao_we_[0], "AO_W", "West (steps)", "%.f", 0, 150, 1, 0);
  IUFillNumber(&ao_we_[1], "AO_E", "East (steps)", "%.f", 0, 150, 1, 0);
  IUFillNumberVector(&ao_we_p_, ao_we_, 2, getDeviceName(), "AO_WE", "AO Tilt West/East", kAOTab, IP_RW, 60,
                     IPS_IDLE);
  IUFillSwitch(&ao_center_[0], "CENTER", "Center", ISS_OFF);
  IUFillSwitchVector(&ao_center_p_, ao_center_, 1, getDeviceName(), "AO_CENTER", "AO Center", kAOTab, IP_RW,
                     ISR_ATMOST1, 60, IPS_IDLE);
  IUFillLight(&at_limit_[0], "AT_LIMIT_NS", "North/South", IPS_IDLE);
  IUFillLight(&at_limit_[1], "AT_LIMIT_WE", "West/East", IPS_IDLE);
  IUFillLightVector(&at_limit_p_, at_limit_, 2, getDeviceName(), "AT_LIMIT", "At Limit", kAOTab, IPS_IDLE);
  IUFillNumber(&ao_travel_[0], "STEPS", "Steps", "%.f", 1, 9999, 1, 150);
  IUFillNumberVector(&ao_travel_p_, ao_travel_, 1, getDeviceName(), "AO_TRAVEL", "Travel from Centre", kAOTab,
                     IP_RW, 60, IPS_IDLE);

  IUFillSwitch(&sim_pace_[0], "PACED", "Real time", ISS_ON);
  IUFillSwitch(&sim_pace_[1], "INSTANT", "At once", ISS_OFF);
  IUFillSwitchVector(&sim_pace_p_, sim_pace_, 2, getDeviceName(), "SIM_PACE", "Simulated Waits", kSimTab,
                     IP_RW, ISR_1OFMANY, 60, IPS_IDLE);
  IUFillSwitch(&sim_cable_[0], "PLUGGED", "Plugged", ISS_ON);
  IUFillSwitch(&sim_cable_[1], "PULLED", "Pulled", ISS_OFF);
  IUFillSwitchVector(&sim_cable_p_, sim_cable_, 2, getDeviceName(), "SIM_CABLE", "Camera Cable", kSimTab,
                     IP_RW, ISR_1OFMANY, 60, IPS_IDLE);

  addAuxControls();  // debug, simulation, configuration
  setDefaultPollingPeriod(500);
  return true;
}

void QlmCcd::ISGetProperties(const char* dev) {
  INDI::CCD::ISGetProperties(dev);
  defineProperty(&sim_pace_p_);
  defineProperty(&ao_travel_p_);
  // The saved choices once, when the first client asks; later clients see the current ones.
  if (!config_loaded_) {
    config_loaded_ = true;
    loadConfig(true, "SIM_PACE");
    loadConfig(true, "AO_TRAVEL");
  }
}

bool QlmCcd::updateProperties() {
  if (isConnected()) {
    // The sensor geometry: the main head 660 x 494, the guider head 500 x 290 (8 bits shown as the
    // high byte of 16).
    SetCCDParams(kMainWidth, kMainHeight, 16, kMainPixelUm, kMainPixelUm);
    SetGuiderParams(kGuideWidth, kGuideHeight, 16, kGuidePixelUm, kGuidePixelUm);
    PrimaryCCD.setFrameBufferSize(kMainWidth * kMainHeight * 2);
    GuideCCD.setFrameBufferSize(kGuideWidth * kGuideHeight * 2);
    fillFilterProperties();
  }
  INDI::CCD::updateProperties();
  INDI::FilterInterface::updateProperties();
  if (isConnected()) {
    defineProperty(&ao_ns_p_);
    defineProperty(&ao_we_p_);
    defineProperty(&ao_center_p_);
    defineProperty(&at_limit_p_);
    if (session_.simulated()) defineProperty(&sim_cable_p_);
    updateAOLimits();
  } else {
    deleteProperty(ao_ns_p_.name);
    deleteProperty(ao_we_p_.name);
    deleteProperty(ao_center_p_.name);
    deleteProperty(at_limit_p_.name);
    deleteProperty(sim_cable_p_.name);
  }
  return true;
}

bool QlmCcd::Connect() {
  session_.setPaced(sim_pace_[0].s == ISS_ON);
  session_.setAOTravel(static_cast<int>(ao_travel_[0].value));
  const char* keys = std::getenv("QLM_T4_SIM");
  const std::string problem = session_.connect(isSimulation(), keys ? keys : "");
  if (!problem.empty()) {
    LOGF_ERROR("No camera: %s", problem.c_str());
    return false;
  }
  IUResetSwitch(&sim_cable_p_);
  sim_cable_[0].s = ISS_ON;
  LOGF_INFO("Camera connected%s.",
            session_.simulated() ? " (simulated camera, mount, filter wheel and AO)" : "");
  SetTimer(getCurrentPollingPeriod());
  return true;
}

bool QlmCcd::Disconnect() {
  main_timer_.stop();
  guide_timer_.stop();
  for (auto& t : pulse_timers_)
    t.stop();
  session_.disconnect();
  return true;
}

void QlmCcd::simulationTriggered(bool enable) {
  if (isConnected()) {
    LOG_WARN("The simulation switch takes effect at the next Connect.");
    return;
  }
  if (!enable) session_.disconnect(true);
}

bool QlmCcd::saveConfigItems(FILE* fp) {
  INDI::CCD::saveConfigItems(fp);
  INDI::FilterInterface::saveConfigItems(fp);
  IUSaveConfigSwitch(fp, &sim_pace_p_);
  IUSaveConfigNumber(fp, &ao_travel_p_);
  return true;
}

// The countdowns clients show, and on the USB camera the flushing clears of a long exposure.
void QlmCcd::TimerHit() {
  if (!isConnected()) return;
  if (session_.mainActive()) {
    session_.tickMain();
    PrimaryCCD.setExposureLeft(std::max(0.0, PrimaryCCD.getExposureDuration() - secondsSince(main_start_)));
  }
  if (session_.guideActive())
    GuideCCD.setExposureLeft(std::max(0.0, GuideCCD.getExposureDuration() - secondsSince(guide_start_)));
  SetTimer(getCurrentPollingPeriod());
}

// --- Main chip ---

bool QlmCcd::UpdateCCDFrame(int x, int y, int w, int h) {
  if (w >= kMainWidth && h >= kMainHeight) {
    PrimaryCCD.setFrame(0, 0, kMainWidth, kMainHeight);
    return true;
  }
  if (w > kWindowSize || h > kWindowSize) {
    LOGF_WARN("The camera reads the whole sensor or a %d x %d window; %d x %d gives the whole sensor.",
              kWindowSize, kWindowSize, w, h);
    PrimaryCCD.setFrame(0, 0, kMainWidth, kMainHeight);
    return true;
  }
  // The camera's one window: 128 x 128, centred on the request and kept on the sensor.
  const int wx = std::clamp(x + w / 2 - kWindowSize / 2, 0, kMainWidth - kWindowSize);
  const int wy = std::clamp(y + h / 2 - kWindowSize / 2, 0, kMainHeight - kWindowSize);
  if (PrimaryCCD.getBinX() != 1) PrimaryCCD.setBin(1, 1);
  PrimaryCCD.setFrame(wx, wy, kWindowSize, kWindowSize);
  return true;
}

bool QlmCcd::UpdateCCDBin(int hor, int ver) {
  if (hor != ver || (hor != 1 && hor != 2)) {
    LOG_ERROR("The camera bins 1 x 1 or 2 x 2.");
    return false;
  }
  // Binning reads the whole sensor; the window is read unbinned.
  if (hor == 2) PrimaryCCD.setFrame(0, 0, kMainWidth, kMainHeight);
  PrimaryCCD.setBin(hor, ver);
  return true;
}

bool QlmCcd::StartExposure(float duration) {
  if (session_.mainActive()) {
    LOG_ERROR("An exposure is already running.");
    return false;
  }
  MainMode mode = MainMode::Full;
  if (PrimaryCCD.getBinX() == 2)
    mode = MainMode::Binned;
  else if (PrimaryCCD.getSubW() == kWindowSize && PrimaryCCD.getSubH() == kWindowSize)
    mode = MainMode::Window;
  // No shutter: a dark or bias is taken with the telescope covered, which INDI clients ask for; a
  // bias is the shortest exposure the camera times.
  const bool bias = PrimaryCCD.getFrameType() == INDI::CCDChip::BIAS_FRAME;
  const std::uint32_t ms = bias ? 1 : std::max<std::uint32_t>(1, toMs(duration));
  PrimaryCCD.setExposureDuration(ms / 1000.0);
  if (!session_.startMain(ms, mode, PrimaryCCD.getSubX(), PrimaryCCD.getSubY())) {
    reportFailure("The exposure could not be started");
    return false;
  }
  main_start_ = std::chrono::steady_clock::now();
  main_timer_.start(static_cast<int>(session_.mainWallMs()));
  return true;
}

bool QlmCcd::AbortExposure() {
  main_timer_.stop();
  session_.abortMain();
  return true;
}

void QlmCcd::finishMainExposure() {
  const std::optional<Image> image = session_.finishMain();
  if (!image) {
    PrimaryCCD.setExposureFailed();
    reportFailure("The frame did not arrive");
    return;
  }
  deliver(PrimaryCCD, *image);
}

// --- Guide head ---

bool QlmCcd::UpdateGuiderFrame(int, int, int, int) {
  GuideCCD.setFrame(0, 0, kGuideWidth, kGuideHeight);  // the guider is always read whole
  return true;
}

bool QlmCcd::UpdateGuiderBin(int hor, int ver) {
  GuideCCD.setBin(1, 1);
  return hor == 1 && ver == 1;
}

bool QlmCcd::StartGuideExposure(float duration) {
  if (session_.guideActive()) {
    LOG_ERROR("A guide exposure is already running.");
    return false;
  }
  const std::uint32_t ms = T4Session::guiderMs(toMs(duration));
  GuideCCD.setExposureDuration(ms / 1000.0);
  if (!session_.startGuide(ms)) {
    reportFailure("The guide exposure could not be started");
    return false;
  }
  guide_start_ = std::chrono::steady_clock::now();
  guide_timer_.start(static_cast<int>(session_.guideWallMs()));
  return true;
}

bool QlmCcd::AbortGuideExposure() {
  guide_timer_.stop();
  session_.abortGuide();
  return true;
}

void QlmCcd::finishGuideExposure() {
  const std::optional<Image> image = session_.finishGuide();
  if (!image) {
    GuideCCD.setExposureFailed();
    reportFailure("The guide frame did not arrive");
    return;
  }
  deliver(GuideCCD, *image);
}

void QlmCcd::deliver(INDI::CCDChip& chip, const Image& image) {
  const std::size_t bytes = image.pixels.size() * sizeof(std::uint16_t);
  chip.setFrameBufferSize(static_cast<uint32_t>(bytes));
  std::memcpy(chip.getFrameBuffer(), image.pixels.data(), bytes);
  chip.setExposureLeft(0);
  ExposureComplete(&chip);
}

void QlmCcd::reportFailure(const char* what) {
  const std::string& why = session_.lastMessage();
  LOGF_ERROR("%s%s%s", what, why.empty() ? "." : ": ", why.c_str());
  if (linkState().camera_present == 0)
    LOG_ERROR("The camera is gone (cable or power). Plug it in again, then Disconnect and Connect.");
}

// --- Relay port ---

IPState QlmCcd::GuideNorth(uint32_t ms) {
  return pulse(GuideDir::North, ms);
}
IPState QlmCcd::GuideSouth(uint32_t ms) {
  return pulse(GuideDir::South, ms);
}
IPState QlmCcd::GuideEast(uint32_t ms) {
  return pulse(GuideDir::East, ms);
}
IPState QlmCcd::GuideWest(uint32_t ms) {
  return pulse(GuideDir::West, ms);
}

IPState QlmCcd::pulse(GuideDir dir, uint32_t ms) {
  const Axis axis = dir == GuideDir::North || dir == GuideDir::South ? Axis::NorthSouth : Axis::EastWest;
  auto& timer = pulse_timers_[static_cast<int>(axis)];
  if (session_.pulseActive(axis)) {  // a new pulse on the axis replaces the one running
    timer.stop();
    session_.finishPulse(axis);
  }
  if (ms == 0) return IPS_OK;
  if (!session_.startPulse(dir, ms)) {
    session_.finishPulse(axis);
    reportFailure("The guide pulse could not be sent");
    return IPS_ALERT;
  }
  timer.start(static_cast<int>(session_.pulseWallMs(axis)));
  return IPS_BUSY;
}

void QlmCcd::finishPulse(Axis axis) {
  session_.finishPulse(axis);
  GuideComplete(axis == Axis::NorthSouth ? AXIS_DE : AXIS_RA);
}

// --- Filter wheel ---

void QlmCcd::fillFilterProperties() {
  const std::vector<std::string> names = session_.filterNames();
  FilterSlotN[0].min = 1;
  FilterSlotN[0].max = static_cast<double>(names.size());
  FilterSlotN[0].value = session_.currentFilter();
  CurrentFilter = session_.currentFilter();
  GetFilterNames();
}

bool QlmCcd::GetFilterNames() {
  const std::vector<std::string> names = session_.filterNames();
  delete[] FilterNameT;
  FilterNameT = new IText[names.size()];
  std::memset(static_cast<void*>(FilterNameT), 0, sizeof(IText) * names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    char name[MAXINDINAME];
    char label[MAXINDILABEL];
    std::snprintf(name, sizeof name, "FILTER_SLOT_NAME_%zu", i + 1);
    std::snprintf(label, sizeof label, "Filter#%zu", i + 1);
    IUFillText(&FilterNameT[i], name, label, names[i].c_str());
  }
  IUFillTextVector(FilterNameTP, FilterNameT, static_cast<int>(names.size()), getDeviceName(), "FILTER_NAME",
                   "Filter", FILTER_TAB, IP_RW, 0, IPS_IDLE);
  FilterNames = names;  // for the FILTER card of the FITS header
  return true;
}

bool QlmCcd::SetFilterNames() {
  std::vector<std::string> names;
  for (int i = 0; i < FilterNameTP->ntp; ++i)
    names.emplace_back(FilterNameT[i].text);
  session_.setFilterNames(names);
  FilterNames = session_.filterNames();
  return true;
}

int QlmCcd::QueryFilter() {
  return session_.currentFilter();
}

bool QlmCcd::SelectFilter(int position) {
  if (!session_.selectFilter(position)) {
    if (position > 7)
      LOGF_ERROR("The wheel message reaches slots 1 to 7 only, not %d.", position);
    else
      reportFailure("The filter wheel could not be turned");
    return false;
  }
  CurrentFilter = position;
  CurrentFilterSlot = position;
  // The wheel gives no answer: the move counts as done once the message went out.
  SelectFilterDone(position);
  return true;
}

// --- AO unit ---

void QlmCcd::aoStep(GuideDir dir, int steps) {
  const int sent = session_.aoStep(dir, steps);
  if (sent < steps) LOGF_WARN("AO step cut from %d to %d: the unit is at its limit of travel.", steps, sent);
}

void QlmCcd::updateAOLimits() {
  at_limit_[0].s = session_.aoAtLimitNS() ? IPS_ALERT : IPS_OK;
  at_limit_[1].s = session_.aoAtLimitWE() ? IPS_ALERT : IPS_OK;
  at_limit_p_.s = (session_.aoAtLimitNS() || session_.aoAtLimitWE()) ? IPS_ALERT : IPS_OK;
  IDSetLight(&at_limit_p_, nullptr);
}

bool QlmCcd::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0) {
    if (INDI::FilterInterface::processNumber(dev, name, values, names, n)) return true;
    if (std::strcmp(name, ao_ns_p_.name) == 0 || std::strcmp(name, ao_we_p_.name) == 0) {
      INumberVectorProperty& p = std::strcmp(name, ao_ns_p_.name) == 0 ? ao_ns_p_ : ao_we_p_;
      IUUpdateNumber(&p, values, names, n);
      const bool ns = &p == &ao_ns_p_;
      const int first = static_cast<int>(p.np[0].value);
      const int second = static_cast<int>(p.np[1].value);
      if (first > 0) aoStep(ns ? GuideDir::North : GuideDir::West, first);
      if (second > 0) aoStep(ns ? GuideDir::South : GuideDir::East, second);
      p.s = linkState().camera_present == 0 ? IPS_ALERT : IPS_OK;
      IDSetNumber(&p, nullptr);
      updateAOLimits();
      return true;
    }
    if (std::strcmp(name, ao_travel_p_.name) == 0) {
      IUUpdateNumber(&ao_travel_p_, values, names, n);
      session_.setAOTravel(static_cast<int>(ao_travel_[0].value));
      for (INumber* np : {&ao_ns_[0], &ao_ns_[1], &ao_we_[0], &ao_we_[1]})
        np->max = ao_travel_[0].value;
      ao_travel_p_.s = IPS_OK;
      IDSetNumber(&ao_travel_p_, nullptr);
      if (isConnected()) {
        IUUpdateMinMax(&ao_ns_p_);
        IUUpdateMinMax(&ao_we_p_);
        updateAOLimits();
      }
      return true;
    }
  }
  return INDI::CCD::ISNewNumber(dev, name, values, names, n);
}

bool QlmCcd::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0) {
    if (std::strcmp(name, ao_center_p_.name) == 0) {
      session_.aoCentre();
      ao_center_[0].s = ISS_OFF;
      ao_center_p_.s = linkState().camera_present == 0 ? IPS_ALERT : IPS_OK;
      IDSetSwitch(&ao_center_p_, nullptr);
      updateAOLimits();
      return true;
    }
    if (std::strcmp(name, sim_pace_p_.name) == 0) {
      IUUpdateSwitch(&sim_pace_p_, states, names, n);
      session_.setPaced(sim_pace_[0].s == ISS_ON);
      sim_pace_p_.s = IPS_OK;
      IDSetSwitch(&sim_pace_p_, nullptr);
      return true;
    }
    if (std::strcmp(name, sim_cable_p_.name) == 0) {
      IUUpdateSwitch(&sim_cable_p_, states, names, n);
      const bool pulled = sim_cable_[1].s == ISS_ON;
      session_.setCablePulled(pulled);
      sim_cable_p_.s = pulled ? IPS_ALERT : IPS_OK;
      IDSetSwitch(&sim_cable_p_, pulled ? "The simulated camera cable is pulled." : nullptr);
      return true;
    }
  }
  return INDI::CCD::ISNewSwitch(dev, name, states, names, n);
}

bool QlmCcd::ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) {
  if (dev != nullptr && std::strcmp(dev, getDeviceName()) == 0 &&
      INDI::FilterInterface::processText(dev, name, texts, names, n))
    return true;
  return INDI::CCD::ISNewText(dev, name, texts, names, n);
}

}  // namespace qlm::indi
