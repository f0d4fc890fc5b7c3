#include "tests/integration/fault_cases.h"

namespace velmar::test {

std::vector<FaultCase> PrinterFaults() {
  return {
      {"Silent", {"--fault", "silent", "--fault-block", "3"}, 10, kTimeoutText},
      {"HangUp", {"--fault", "hangup", "--fault-block", "2"}, 21, kPortLostText},
      {"WrongWakeByte", {"--wake", "0x55"}, 11, "не поддерживается (TEST).\nЗагрузка"},
      {"OtherModel", {"--model", "OTHER"}, 12, "не поддерживается (TEST).\nФайл"},
      {"StatusError",
       {"--fault", "status-error", "--fault-reply", "A"},
       13,
       "Ошибка в принятом пакете."},
      {"BadCommand",
       {"--fault", "bad-command", "--fault-block", "2"},
       14,
       "Ошибка в принятой команде."},
      {"BadAddress", {"--fault", "bad-address"}, 15, "Ошибка в принятом адресе."},
      {"BadSize", {"--fault", "bad-size"}, 16, "Ошибка в принятом размере."},
      {"ResultError",
       {"--fault", "result-error", "--fault-reply", "SM"},
       17,
       "Ошибка целостности данных.\n"},
      {"BadCrc", {"--fault", "bad-crc"}, 19, "Ошибка целостности данных в принятом пакете."},
      {"BadData", {"--fault", "bad-data", "--fault-block", "5"}, 20, "Ошибка в принятых данных."},
  };
}

std::vector<FaultKindCase> FaultKinds() {
  return {
      {"status-error", {"CA", "ident", "A", "D", "SM"}, 13, "Ошибка в принятом пакете."},
      // The newline tells it from the integrity error of a received packet.
      {"result-error", {"echo", "ident", "SM"}, 17, "Ошибка целостности данных.\n"},
      {"bad-command", {"CA", "ident", "A", "D", "SM"}, 14, "Ошибка в принятой команде."},
      {"bad-address", {"A"}, 15, "Ошибка в принятом адресе."},
      {"bad-size", {"D"}, 16, "Ошибка в принятом размере."},
      {"bad-crc", {"echo"}, 19, "Ошибка целостности данных в принятом пакете."},
      {"bad-data", {"echo"}, 20, "Ошибка в принятых данных."},
      {"silent", {"CA"}, 10, kTimeoutText},
      {"hangup", {"CA"}, 21, kPortLostText},
  };
}

}  // namespace velmar::test
