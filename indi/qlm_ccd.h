#pragma once
#include <chrono>

#include <indiccd.h>
#include <indifilterinterface.h>
#include <inditimer.h>

#include "indi/t4_session.h"

namespace qlm::indi {

// The INDI driver: the main chip, the guide head, the relay port as ST4, the filter wheel on the
// camera's serial port and the AO unit, all through one T4Session. Exposures and pulses are started
// by the property handlers and finished by single-shot timers, so the event loop is never held for
// the length of an exposure.
class QlmCcd : public INDI::CCD, public INDI::FilterInterface {
 public:
  QlmCcd();
  ~QlmCcd() override;

  const char* getDefaultName() override;
  bool initProperties() override;
  bool updateProperties() override;
  void ISGetProperties(const char* dev) override;
  bool ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) override;
  bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) override;
  bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;

 protected:
  bool Connect() override;
  bool Disconnect() override;
  void TimerHit() override;
  bool saveConfigItems(FILE* fp) override;
  void simulationTriggered(bool enable) override;

  bool StartExposure(float duration) override;
  bool AbortExposure() override;
  bool StartGuideExposure(float duration) override;
  bool AbortGuideExposure() override;
  bool UpdateCCDFrame(int x, int y, int w, int h) override;
  bool UpdateCCDBin(int hor, int ver) override;
  bool UpdateGuiderFrame(int x, int y, int w, int h) override;
  bool UpdateGuiderBin(int hor, int ver) override;

  IPState GuideNorth(uint32_t ms) override;
  IPState GuideSouth(uint32_t ms) override;
  IPState GuideEast(uint32_t ms) override;
  IPState GuideWest(uint32_t ms) override;

  int QueryFilter() override;
  bool SelectFilter(int position) override;
  bool GetFilterNames() override;
  bool SetFilterNames() override;

 private:
  IPState pulse(GuideDir dir, uint32_t ms);
  void finishPulse(Axis axis);
  void finishMainExposure();
  void finishGuideExposure();
  // Hands an image to a chip and lets INDI send it (FITS in CCD1 or CCD2).
  void deliver(INDI::CCDChip& chip, const Image& image);
  // Says why a transfer failed, and that a reconnect finds the camera again when it was lost.
  void reportFailure(const char* what);
  void aoStep(GuideDir dir, int steps);
  void updateAOLimits();
  void fillFilterProperties();

  T4Session session_;
  INDI::Timer main_timer_;
  INDI::Timer guide_timer_;
  INDI::Timer pulse_timers_[2];
  std::chrono::steady_clock::time_point main_start_;
  std::chrono::steady_clock::time_point guide_start_;

  // AO unit: steps north/south and west/east as PHD2's INDI AO client sends them, centring, the
  // limit lights and the travel either side of centre.
  INumber ao_ns_[2];
  INumberVectorProperty ao_ns_p_;
  INumber ao_we_[2];
  INumberVectorProperty ao_we_p_;
  ISwitch ao_center_[1];
  ISwitchVectorProperty ao_center_p_;
  ILight at_limit_[2];
  ILightVectorProperty at_limit_p_;
  INumber ao_travel_[1];
  INumberVectorProperty ao_travel_p_;

  // Simulation: exposures paced in real time or taken at once, and the simulated cable.
  ISwitch sim_pace_[2];
  ISwitchVectorProperty sim_pace_p_;
  ISwitch sim_cable_[2];
  ISwitchVectorProperty sim_cable_p_;
  bool config_loaded_ = false;
};

}  // namespace qlm::indi
