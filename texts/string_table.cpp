#include "texts/string_table.h"

#include <array>
#include <utility>

#include "texts/text_encoding.h"

namespace velmar::texts {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 41> kStrings{{
    {IDS_ABOUT, "О программе..."},
    {IDS_BAD_DATA, "Неверные данные в файле.\nЗагрузка невозможна."},
    {IDS_PORT_BUSY, "Не удалось открыть порт.\nВозможно, он занят другим приложением."},
    {IDS_LOADING_FONT, "Загрузка шрифта в %s..."},
    {IDS_LOADING_PROGRAM, "Загрузка программы в %s..."},
    {IDS_CANNOT_OPEN, "Невозможно открыть файл с данными."},
    {IDS_FILE_FILTER,
     "Файлы с программами (*.bin)|*.bin|Файлы со шрифтами (*.fnt)|*.fnt|Все файлы (*.*)|*.*||"},
    {IDS_PROGRAM_DONE, "Программа успешно загружена в принтер."},
    {IDS_FONT_DONE, "Шрифт успешно загружен в принтер."},
    {IDS_TIMEOUT, "Истекло время ожидания ответа от принтера.\nЗагрузка будет прервана."},
    {IDS_MODEL_UNSUPPORTED,
     "Данная модель контроллера не поддерживается (%s).\nЗагрузка будет прервана."},
    {IDS_MODEL_MISMATCH,
     "Данная модель контроллера не поддерживается (%s).\nФайл с данными не пригоден для "
     "загрузки.\nЗагрузка будет прервана."},
    {IDS_BAD_PACKET, "Ошибка в принятом пакете.\nЗагрузка будет прервана."},
    {IDS_BAD_COMMAND, "Ошибка в принятой команде.\nЗагрузка будет прервана."},
    {IDS_BAD_ADDRESS, "Ошибка в принятом адресе.\nЗагрузка будет прервана."},
    {IDS_BAD_SIZE, "Ошибка в принятом размере.\nЗагрузка будет прервана."},
    {IDS_INTEGRITY_ERROR, "Ошибка целостности данных.\nЗагрузка будет прервана."},
    {IDS_PACKET_INTEGRITY_ERROR,
     "Ошибка целостности данных в принятом пакете.\nЗагрузка будет прервана."},
    {IDS_BAD_DATA_ECHO, "Ошибка в принятых данных.\nЗагрузка будет прервана."},
    {IDS_NO_DATA, "Нет данных для загрузки.\nЗагрузка будет прервана."},
    {IDS_PORT_MISSING, "Такого порта нет"},
    {IDS_PORT_NO_ACCESS, "Нет доступа к порту"},
    {IDS_PORT_ACCESS_GROUP, "Доступ дают права группы %s."},
    {IDS_PORT_HELD, "Порт занят другой программой"},
    {IDS_PORT_SETTINGS_REFUSED, "Порт не принял настройки линии"},
    {IDS_NO_CONNECTION, "Не удалось соединиться с принтером"},
    {IDS_PORT_RATE_REFUSED, "Порт не принял скорость %s"},
    {IDS_PORT_RATES, "Выберите одну из скоростей: %s."},
    {IDS_FILE_MISSING, "Такого файла нет"},
    {IDS_FILE_NO_ACCESS, "Нет доступа к файлу"},
    {IDS_FILE_FOLDER, "Это папка, а не файл"},
    {IDS_FILE_NOT_REGULAR, "Это не обычный файл, а устройство или канал"},
    {IDS_FILE_UNREADABLE, "Файл не читается"},
    {IDS_FILE_NOT_DATA, "Это не файл программы (MyBIN) и не файл шрифта (MyFNT)"},
    {IDS_FILE_TOO_LARGE, "Файл больше %s байт"},
    {IDS_FILE_DAMAGED, "Файл обрезан или повреждён"},
    {IDS_PORT_LOST,
     "Связь с принтером потеряна: порт закрыт или адаптер отключён.\nЗагрузка будет прервана."},
    {IDS_PORT_NO_HARDWARE, "За этим портом нет устройства"},
    {IDS_PORT_SYSTEM_FAILURE, "Системе не хватило средств, чтобы открыть порт"},
    {IDS_SERVER_REFUSED, "Сервер портов не дал настроить порт"},
    {IDS_SLOW_LATENCY,
     "Таймер задержки адаптера %s мс замедляет загрузку: в Диспетчере устройств, свойствах "
     "порта, «Дополнительно», задайте Latency Timer 1 мс"},
}};

constexpr std::string_view kPlaceholder = "%s";

}  // namespace

std::string_view LoadText(int id) {
  for (const auto& [number, text] : kStrings) {
    if (number == id) {
      return text;
    }
  }
  return {};
}

std::string FormatText(int id, std::string_view argument) {
  std::string text(LoadText(id));
  const size_t at = text.find(kPlaceholder);
  if (at != std::string::npos) {
    text.replace(at, kPlaceholder.size(), argument);
  }
  return text;
}

std::string ReasonLine(std::string_view subject, std::string_view words,
                       std::string_view system_text) {
  std::string line;
  if (!subject.empty()) {
    line.append(subject).append(": ");
  }
  line.append(words);
  if (!system_text.empty()) {
    line.append(" (").append(system_text).append(")");
  }
  return line.append(".");
}

std::string LoadingStatusText(bool font_load, std::string_view model_name) {
  return FormatText(font_load ? IDS_LOADING_FONT : IDS_LOADING_PROGRAM, DisplayName(model_name));
}

}  // namespace velmar::texts
