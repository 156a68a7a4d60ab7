// The program's own texts, as Windows-1251 bytes.
#pragma once

namespace ui {

// "Прямоугольные импульсы"
inline constexpr const char* kTextCaption =
    "\xcf\xf0\xff\xec\xee\xf3\xe3\xee\xeb\xfc\xed\xfb\xe5\x20\xe8\xec\xef\xf3\xeb\xfc\xf1\xfb";
// "Пауза, мкс."
inline constexpr const char* kTextLabelPause = "\xcf\xe0\xf3\xe7\xe0\x2c\x20\xec\xea\xf1\x2e";
// "Импульс, мкс."
inline constexpr const char* kTextLabelPulse =
    "\xc8\xec\xef\xf3\xeb\xfc\xf1\x2c\x20\xec\xea\xf1\x2e";
// "Размер, мс."
inline constexpr const char* kTextLabelSize = "\xd0\xe0\xe7\xec\xe5\xf0\x2c\x20\xec\xf1\x2e";
// "Битрейт, бит/с"
inline constexpr const char* kTextLabelRate =
    "\xc1\xe8\xf2\xf0\xe5\xe9\xf2\x2c\x20\xe1\xe8\xf2\x2f\xf1";
// "Пуск"
inline constexpr const char* kTextButtonStart = "\xcf\xf3\xf1\xea";
// "Стоп"
inline constexpr const char* kTextButtonStop = "\xd1\xf2\xee\xef";
// "Зациклить"
inline constexpr const char* kTextCheckLoop = "\xc7\xe0\xf6\xe8\xea\xeb\xe8\xf2\xfc";
// "Ошибка!"
inline constexpr const char* kTextErrorCaption = "\xce\xf8\xe8\xe1\xea\xe0\x21";
// "Играть нечем"
inline constexpr const char* kTextNoSound = "\xc8\xe3\xf0\xe0\xf2\xfc\x20\xed\xe5\xf7\xe5\xec";

}  // namespace ui
