#include "core/MessageCatalogue.h"

#include <atomic>

namespace ql {
namespace {

// All Russian slots first, then all English ones: the slot of (language, number) is
// language * kMessageCount + number. Message 35 has no text.
// Message 59 ends in the Cyrillic capitals O and K (U+041E, U+041A) in both languages;
// log readers match on exactly these letters.
const char16_t* const kTexts[kLanguageCount * kMessageCount] = {
    // Russian
    /*  0 */ u"Драйвер устройств FTDI не установлен.",
    /*  1 */ u"Драйвер устройств MV не установлен.",
    /*  2 */ u"Перед первым запуском программы подключите устройство к USB и установите драйвер.",
    /*  3 */ u"Прибор %7d\t",
    /*  4 */ u"Прибор -------\t",
    /*  5 */ u"(% 6d)Ошибка %d поиске новых устройств. Последний код ответа прибора %d",
    /*  6 */ u"Прибор отключен",
    /*  7 */ u"Прибор подключен",
    /*  8 */ u"Версия прошивки %s",
    /*  9 */ u"Версия загрузчика %s",
    /* 10 */ u"Идентификатор процессора 0x%08X",
    /* 11 */ u"Режим работы - Прошивка",
    /* 12 */ u"Режим работы - Загрузчик",
    /* 13 */ u"Если кнопка \"Прошить\" не появилась через 10 секунд, переподключите устройство",
    /* 14 */ u"Объект прибора не найден",
    /* 15 */ u"Начинаем прошивку прибора",
    /* 16 */ u"Обновление прошивки прибора...",
    /* 17 */ u"Прибор уже прошивается",
    /* 18 */ u"Прибор заблокирован",
    /* 19 */ u"Прошивка и прибор не совместимы",
    /* 20 */ u"Ошибка %d при обновлении прошивки",
    /* 21 */ u"Установлена блокировка изменения настроек",
    /* 22 */ u"Прибор не совместим с данной версией прошивки",
    /* 23 */ u"(% 6d)Ошибка %d при прошивке. Последний код ответа прибора %d",
    /* 24 */ u"Обновление прошивки завершено успешно",
    /* 25 */ u"(% 6d)Прошивка завершена успешно",
    /* 26 */ u"Загружена прошивка из ресурсов",
    /* 27 */ u"Загружена прошивка из файла \"",
    /* 28 */ u"Версия прошивки \"%s\"",
    /* 29 */ u"Дата компиляции \"%s\"",
    /* 30 */ u"Ошибка загрузки прошивки",
    /* 31 */ u"Загрузка прошивки: Файл %s не найден",
    /* 32 */ u"Ошибка декодирования времени компиляции прошивки",
    /* 33 */ u"Ошибка контрольной суммы файла прошивки",
    /* 34 */ u"Не верный размер файла прошивки",
    /* 35 */ nullptr,
    /* 36 */ u"Исключение \"%s\" при поиске устройств",
    /* 37 */ u"Ошибка драйвера",
    /* 38 */ u"Нет ответа на запрос идентификатора процессора",
    /* 39 */ u"Отправляем команду запуска загрузчика",
    /* 40 */ u"Команда запуска загрузчика обработана. Переподключите устройство.",
    /* 41 */ u"Ошибка запуска загрузчика",
    /* 42 */ u"Неизвестный ответ прибора: %s",
    /* 43 */ u"Прибор не отвечает.",
    /* 44 */ u"Прибор",
    /* 45 */ u"Серийный номер:",
    /* 46 */ u"Версия прошивки:",
    /* 47 */ u"Версия загрузчика:",
    /* 48 */ u"Прошить",
    /* 49 */ u"неизвестна",
    /* 50 */ u"Слишком большой размер блока прошивки",
    /* 51 */ u"Прошиваются сектора с %d по %d",
    /* 52 */ u"Не удалось открыть устройство",
    /* 53 */ u"(% 6d) Перепрошивка сектора %d:",
    /* 54 */ u"(% 6d) Сектор %d пустой. Пропускаем.",
    /* 55 */ u"Отправлена команда запуска приложения",
    /* 56 */ u"Неизвестный идентификатор процессора %08X",
    /* 57 */ u"(% 6d) Стираем сектор %d...",
    /* 58 */ u"(% 6d) Сектор защищен от стирания",
    /* 59 */ u"(% 6d) Стирание сектора %d: \u041E\u041A",
    /* 60 */ u"(% 6d) Стирание сектора %d: Ошибка!",
    /* 61 */ u"(% 6d) Запись сектора %d:",
    /* 62 */ u"(% 6d)\tЧасть %d из %d",
    /* 63 */ u"(% 6d) Сектор защищен от записи",
    /* 64 */ u"(% 6d) Сектор %d записан",
    /* 65 */ u"(% 6d) Ошибка при записи сектора %d (%d, %d, %d, %d, %d)",
    /* 66 */ u"Настройки",
    /* 67 */ u"Файл:",
    /* 68 */ u"Прочитать",
    /* 69 */ u"Дата создания:",
    /* 70 */ u"Версия прошивки:",
    /* 71 */ u"Прошивать автоматически",
    /* 72 */ u"Запускать приложение",
    /* 73 */ u"Записывать лог в файл",
    /* 74 */ u"Нет ответа на запрос проверки совместимости прибора и прошивки",
    /* 75 */ u"Слишком старая версия прошивки",
    /* 76 */ u"Прошивка и SD несовместимы",
    /* 77 */ u"Отключить поиск FTDI устройств",
    /* 78 */ u"Старт загрузчика. Ожидайте...",
    /* 79 */ u"Шить через COM порт:",
    /* 80 */ u"Ошибка старта загрузчика",
    /* 81 */ u"Обновлять через стартовый загрузчик",
    /* 82 */ u"Обновить список устройств",
    /* 83 */ u"Закрывать после обновления",
    /* 84 */ u"Ручной выбор прошивки",
    /* 85 */ u"Использование: qlfwloader [ПАРАМЕТР]... [ФАЙЛ.eraw]\n"
             u"Находит приборы Quillomar, подключенные через мост FTDI, USB-интерфейс производителя\n"
             u"или COM порт, и обновляет их прошивку.\n"
             u"\n"
             u"Параметры (в любом регистре, с одним знаком \"-\" или \"/\" впереди или без него):\n"
             u"  autowrite        прошивать автоматически каждый прибор в режиме загрузчика\n"
             u"  autoclose        закрыться после успешного обновления с кодом завершения 1\n"
             u"  startapp         запускать приложение после обновления\n"
             u"  disableftdi      не искать приборы за мостами FTDI\n"
             u"  usestartloader   обновлять через стартовый загрузчик (только в этом запуске)\n"
             u"  dontcheckcpbl    не проверять совместимость прошивки и прибора\n"
             u"  externfirmware   брать прошивку из файла вместо встроенной\n"
             u"  serialNNNNNNN    только прибор с этим семизначным серийным номером (USB производителя)\n"
             u"  comport=ИМЯ      шить через COM порт ИМЯ (только в этом запуске)\n"
             u"  console          выводить каждую строку лога также в стандартный вывод\n"
             u"  json             строки лога, ход записи и итог запуска — JSON в стандартный вывод\n"
             u"  ФАЙЛ.eraw        файл прошивки\n"
             u"  help, --help, -h     эта справка\n"
             u"  version, --version   версия программы\n"
             u"\n"
             u"Код завершения: 1 после автоматического закрытия, последовавшего за успешным\n"
             u"обновлением, иначе 255.\n"
             u"Настройки и логи: QLFWLoader.ini и Logs/ рядом с программой, если там можно\n"
             u"создавать файлы, иначе в ~/.local/share/qlfwloader/.\n",
    /* 86 */ u"COM-порт %s не открывается: %s",
    /* 87 */ u"Доступ к %s дают права группы \"%s\": добавьте пользователя в эту группу и войдите в систему заново",
    /* 88 */ u"COM-порт %s не допускает монопольного доступа: %s",
    /* 89 */ u"Отказ COM-порта %s: %s",
    /* 90 */ u"Библиотека FTDI не установлена: приборы за мостами FTDI доступны через драйвер системы",
    /* 91 */ u"Таймер задержки моста FTDI %s не изменить: ответы приборов ждут в мосте до его срабатывания; правило udev из пакета qlfwloader убирает это ожидание",
    /* 92 */ u"Порт моста FTDI %s не открывается: %s",
    /* 93 */ u"Доступ к %s дает правило udev из пакета qlfwloader (после его установки подключите мост заново) или права группы \"%s\": добавьте пользователя в эту группу и войдите в систему заново",
    // English
    /*  0 */ u"FTDI device driver is not installed",
    /*  1 */ u"Morvessan device driver is not installed",
    /*  2 */ u"Before the first start of the program connect the device to your PC using a USB cable and install the driver.",
    /*  3 */ u"Device %7d\t",
    /*  4 */ u"Device -------\t",
    /*  5 */ u"(% 6d)Error %d of searching for new devices. Last response code of the device %d",
    /*  6 */ u"Device disconnected",
    /*  7 */ u"Device connected",
    /*  8 */ u"Firmware version %s",
    /*  9 */ u"Bootloader version %s",
    /* 10 */ u"Processor ID 0x%08X",
    /* 11 */ u"Operation mode - Firmware",
    /* 12 */ u"Operation mode - Bootloader",
    /* 13 */ u"If the \"Update firmware\" button does not appear after 10 seconds, reconnect the device",
    /* 14 */ u"Device object not found",
    /* 15 */ u"Starting firmware updating",
    /* 16 */ u"Updating firmware...",
    /* 17 */ u"Firmware is loading",
    /* 18 */ u"Device is locked",
    /* 19 */ u"Firmware and device is not compatible",
    /* 20 */ u"Error %d of firmware updating",
    /* 21 */ u"Device settings are protected",
    /* 22 */ u"Device is not compatible with firmware version",
    /* 23 */ u"(% 6d)Error %d of firmware updating. Last response code of the device %d",
    /* 24 */ u"Firmware updating is successfully completed",
    /* 25 */ u"(% 6d)Firmware is successfully loaded",
    /* 26 */ u"Firmware is loaded from resources",
    /* 27 */ u"Firmware is loaded from a file \"",
    /* 28 */ u"Firmware version \"%s\"",
    /* 29 */ u"Date of compilation \"%s\"",
    /* 30 */ u"Firmware loading error",
    /* 31 */ u"Firmware loading: File %s not found",
    /* 32 */ u"Compilation time decoding error",
    /* 33 */ u"Firmware CRC error",
    /* 34 */ u"Wrong firmware size",
    /* 35 */ nullptr,
    /* 36 */ u"Exception \"%s\" of device searching",
    /* 37 */ u"Driver error",
    /* 38 */ u"No response on processor ID request",
    /* 39 */ u"Sending command of loader starting",
    /* 40 */ u"Loader starting command processed. Disconnect device and connect it again.",
    /* 41 */ u"Bootloader error",
    /* 42 */ u"Unknown device reply: %s",
    /* 43 */ u"No reply from device.",
    /* 44 */ u"Device",
    /* 45 */ u"Serial number:",
    /* 46 */ u"Firmware version:",
    /* 47 */ u"Bootloader version:",
    /* 48 */ u"Update firmware",
    /* 49 */ u"unknown",
    /* 50 */ u"Firmware block size is too big",
    /* 51 */ u"Updating sectors from %d to %d",
    /* 52 */ u"Disable to open device",
    /* 53 */ u"(% 6d) Updating sector %d:",
    /* 54 */ u"(% 6d) Sector %d empty. Skip.",
    /* 55 */ u"Sending command to application starting",
    /* 56 */ u"Unknown processor ID %08X",
    /* 57 */ u"(% 6d) Erasing sector %d...",
    /* 58 */ u"(% 6d) Sector is protected from erasure",
    /* 59 */ u"(% 6d) Erasing sector %d: \u041E\u041A",
    /* 60 */ u"(% 6d) Erasing sector %d: Error!",
    /* 61 */ u"(% 6d) Recording sector %d:",
    /* 62 */ u"(% 6d)\tPart %d of %d",
    /* 63 */ u"(% 6d) Sector is protected from record",
    /* 64 */ u"(% 6d) Sector %d recorded",
    /* 65 */ u"(% 6d) Sector %d recording error (%d, %d, %d, %d, %d)",
    /* 66 */ u"Configuration",
    /* 67 */ u"File:",
    /* 68 */ u"Read",
    /* 69 */ u"Creation date:",
    /* 70 */ u"Firmware version:",
    /* 71 */ u"Update automatically",
    /* 72 */ u"Start application",
    /* 73 */ u"Write log file",
    /* 74 */ u"No response on firmware compatibility request",
    /* 75 */ u"The firmware version is too old",
    /* 76 */ u"Firmware and SD are not compatible",
    /* 77 */ u"Disable FTDI devices",
    /* 78 */ u"Bootloader starting. wait...",
    /* 79 */ u"use COM port:",
    /* 80 */ u"Bootloader starting error",
    /* 81 */ u"Use start loader",
    /* 82 */ u"Update device list",
    /* 83 */ u"Close after update",
    /* 84 */ u"Select firmware file",
    /* 85 */ u"Usage: qlfwloader [OPTION]... [FILE.eraw]\n"
             u"Finds Quillomar trackers connected through an FTDI bridge, the maker's USB interface\n"
             u"or a COM port, and updates their firmware.\n"
             u"\n"
             u"Options (any letter case, with or without one leading \"-\" or \"/\"):\n"
             u"  autowrite        update every tracker in its bootloader as soon as it is found\n"
             u"  autoclose        close after a successful update, with exit status 1\n"
             u"  startapp         start the application after the update\n"
             u"  disableftdi      do not look for trackers behind FTDI bridges\n"
             u"  usestartloader   update through the start loader (this run only)\n"
             u"  dontcheckcpbl    skip the firmware and tracker compatibility check\n"
             u"  externfirmware   take the firmware from a file instead of the built-in image\n"
             u"  serialNNNNNNN    only the tracker with this seven-digit serial number (maker's USB)\n"
             u"  comport=NAME     update through the COM port NAME (this run only)\n"
             u"  console          also write every log line to standard output\n"
             u"  json             log lines, progress and the run's summary as JSON on standard output\n"
             u"  FILE.eraw        the firmware file\n"
             u"  help, --help, -h     this text\n"
             u"  version, --version   the program's version\n"
             u"\n"
             u"Exit status: 1 after the automatic close that followed a successful update,\n"
             u"255 otherwise.\n"
             u"Settings and logs: QLFWLoader.ini and Logs/ beside the program when files can be\n"
             u"created there, otherwise in ~/.local/share/qlfwloader/.\n",
    /* 86 */ u"COM port %s cannot be opened: %s",
    /* 87 */ u"Access to %s is given by membership of the group \"%s\": add the user to this group, then log in again",
    /* 88 */ u"COM port %s does not allow exclusive use: %s",
    /* 89 */ u"COM port %s failed: %s",
    /* 90 */ u"The FTDI library is not installed: trackers behind FTDI bridges are reached through the system's driver",
    /* 91 */ u"The latency timer of FTDI bridge %s cannot be set: replies wait in the bridge until it runs out; the udev rule of the qlfwloader package removes this wait",
    /* 92 */ u"The serial port %s of an FTDI bridge cannot be opened: %s",
    /* 93 */ u"Access to %s is given by the udev rule of the qlfwloader package (plug the bridge in again after installing it) or by membership of the group \"%s\": add the user to this group, then log in again",
};

std::atomic<int> g_currentLanguage{kRussian};

}  // namespace

QString MessageText(int language, int number)
{
    if (language > 1)
        return QStringLiteral("Language is not defined");
    if (number > kMessageCount - 1)
        return language == kRussian ? QStringLiteral(u"Сообщение не определено")
                                    : QStringLiteral("Message is not defined");
    if (language < 0 || number < 0)
        return QStringLiteral("Uninitialised message ID=%1").arg(number);
    const char16_t* text = kTexts[language * kMessageCount + number];
    if (text == nullptr)
        return QStringLiteral("Uninitialised message ID=%1").arg(number);
    return QString::fromUtf16(text);
}

int CurrentLanguage()
{
    return g_currentLanguage.load(std::memory_order_relaxed);
}

void SetCurrentLanguage(int language)
{
    g_currentLanguage.store(language, std::memory_order_relaxed);
}

QString Msg(int number)
{
    return MessageText(CurrentLanguage(), number);
}

}  // namespace ql
