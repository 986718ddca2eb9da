#pragma once
// The one fake widget set: records what a person would see (boxes, pages,
// captions, cursors, closes) and what the framework asked of the platform
// (repaints, timers), and runs the main thread's queue when asked to process
// messages.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/MainThread.h"

struct TShownBox {
  AnsiText title, text;
  bool errorIcon;
};

class TFakeWidgets : public IWidgetSet {
 public:
  std::vector<TShownBox> boxes;
  std::vector<TCursor> cursors;
  std::vector<AnsiText> events;  // messages, closes and page changes, in order
  std::set<TTimer*> liveTimers;
  int processed = 0;
  bool closed = false;
  AnsiText title;

  int runs = 0;
  int changes = 0;  // repaint requests of any control
  int closes = 0;
  std::vector<TTimer*> timerChanges;
  int dpi = kDesignPixelsPerInch;
  // The first colour, caption and progress each control was given: its stored value.
  std::map<const TControl*, std::vector<AnsiText>> history;

  void ControlChanged(TControl& c) override {
    ++changes;
    if (auto* nb = dynamic_cast<TNotebook*>(&c)) events.push_back("page " + std::to_string(nb->PageIndex()));
    if (auto* label = dynamic_cast<TLabel*>(&c))
      events.push_back("caption " + label->Name() + " " + label->Caption());
    if (auto* panel = dynamic_cast<TPanel*>(&c))
      history[&c].push_back("color " + std::to_string(panel->Color()));
    if (auto* form = dynamic_cast<TForm*>(&c)) history[&c].push_back("caption " + form->Caption());
    if (auto* gauge = dynamic_cast<TGauge*>(&c)) {
      history[&c].push_back("progress " + std::to_string(gauge->Progress()) + " fore " +
                            std::to_string(gauge->ForeColor()));
    }
  }
  int ScreenPixelsPerInch() override { return dpi; }
  void ControlDestroyed(TControl&) override {}
  void TimerChanged(TTimer& t) override {
    liveTimers.insert(&t);
    timerChanges.push_back(&t);
    events.push_back("timer " + t.Name() + (t.Enabled() ? " on" : " off"));
  }
  void TimerDestroyed(TTimer& t) override { liveTimers.erase(&t); }
  void ProcessMessages() override {
    ++processed;
    events.push_back("process");
    MainThreadQueue().ProcessPending();
  }
  void ShowMessage(const AnsiText& t, const AnsiText& text, bool errorIcon) override {
    boxes.push_back({t, text, errorIcon});
    events.push_back("box " + text);
  }
  void SetScreenCursor(TCursor c) override { cursors.push_back(c); }
  void Run(TForm&) override { ++runs; }
  void CloseForm(TForm&) override {
    closed = true;
    ++closes;
    events.push_back("close");
  }
  void SetApplicationTitle(const AnsiText& t) override { title = t; }
};
