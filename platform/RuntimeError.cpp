#include "platform/RuntimeError.h"

#include "platform/Application.h"
#include "platform/MessageBox.h"

namespace platform {

void ReportFatal(int number, const QString& description) {
  MsgBox(QString("Run-time error %1:\n\n%2").arg(number).arg(description), vbExclamation);
  End();
}

}  // namespace platform
