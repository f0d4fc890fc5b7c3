#include "texts/string_table.h"

#include <gtest/gtest.h>

#include "engine/load_notification.h"

namespace velmar::texts {
namespace {

TEST(StringTableTest, EveryNotificationHasItsText) {
  for (const auto& info : engine::Notifications()) {
    if (info.text_id == 0) {
      continue;
    }
    EXPECT_FALSE(LoadText(info.text_id).empty()) << info.name;
    EXPECT_FALSE(LoadText(info.font_text_id).empty()) << info.name;
    const bool has_placeholder = LoadText(info.text_id).find("%s") != std::string_view::npos;
    EXPECT_EQ(has_placeholder, info.formats_model) << info.name;
  }
}

TEST(StringTableTest, TextsThatAreEasilyMixedUp) {
  const auto* no_data = engine::FindNotification(engine::LN_NO_DATA);
  const auto* packet = engine::FindNotification(engine::LN_PACKET_INTEGRITY_ERROR);
  const auto* bad_data = engine::FindNotification(engine::LN_BAD_DATA);
  ASSERT_TRUE(no_data && packet && bad_data);
  EXPECT_EQ(no_data->text_id, 120);
  EXPECT_EQ(packet->text_id, 118);
  EXPECT_EQ(bad_data->text_id, 119);
  EXPECT_EQ(engine::FindNotification(engine::LN_TIMEOUT - 1), nullptr);
  EXPECT_EQ(engine::FindNotification(engine::LN_STEP + 1), nullptr);
}

TEST(StringTableTest, FormatsTheModelName) {
  EXPECT_EQ(FormatText(IDS_LOADING_PROGRAM, "TEST"), "Загрузка программы в TEST...");
  // The argument is inserted as it stands, never read as a format.
  EXPECT_NE(FormatText(IDS_MODEL_MISMATCH, "%s%d").find("поддерживается (%s%d).\n"),
            std::string::npos);
  EXPECT_EQ(FormatText(IDS_TIMEOUT, "x"),
            "Истекло время ожидания ответа от принтера.\nЗагрузка будет прервана.");
  EXPECT_EQ(LoadText(IDS_BAD_DATA), "Неверные данные в файле.\nЗагрузка невозможна.");
  EXPECT_TRUE(LoadText(999).empty());
}

}  // namespace
}  // namespace velmar::texts
