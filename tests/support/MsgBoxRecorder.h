#pragma once

#include <QString>
#include <vector>

#include "platform/MessageBox.h"

// Records every message box instead of showing it, for as long as it lives.
// Each box is answered with OK (1) at once, so no test blocks.
class MsgBoxRecorder {
 public:
  struct Box {
    QString text;
    int style = 0;
    QString title;
  };

  MsgBoxRecorder() {
    platform::setMsgBoxHook([this](const QString& text, int style, const QString& title) {
      boxes.push_back({text, style, title});
      if (onShow) onShow(boxes.back());
      return 1;
    });
  }
  ~MsgBoxRecorder() { platform::setMsgBoxHook({}); }
  MsgBoxRecorder(const MsgBoxRecorder&) = delete;
  MsgBoxRecorder& operator=(const MsgBoxRecorder&) = delete;

  std::vector<Box> boxes;
  // Runs while the box "is open", e.g. to look at the window meanwhile.
  std::function<void(const Box&)> onShow;
};
