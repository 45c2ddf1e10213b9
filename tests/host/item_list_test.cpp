#include "util/item_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Empties the list the way the consumers do, collecting the texts.
std::vector<std::wstring> drain(ItemList* list) {
  std::vector<std::wstring> texts;
  while (item_list_count(list) != 0) {
    texts.push_back(item_list_top(list));
    EXPECT_EQ(item_list_pop(list), 1);
  }
  return texts;
}

TEST(ItemList, PopsInReverseOrderOfPushing) {
  ItemList list;
  item_list_init(&list);
  EXPECT_EQ(item_list_count(&list), 0);
  for (const wchar_t* text : {L"A", L"B", L"C"}) EXPECT_EQ(item_list_push(&list, text), 1);

  const wchar_t* expected[] = {L"C", L"B", L"A"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(item_list_count(&list), 3 - i);
    EXPECT_STREQ(item_list_top(&list), expected[i]);
    EXPECT_EQ(item_list_pop(&list), 1);
  }
  EXPECT_EQ(item_list_count(&list), 0);
  EXPECT_EQ(list.newest, nullptr);
}

TEST(ItemList, KeepsWholeTextsOfEveryLength) {
  ItemList list;
  item_list_init(&list);
  // Entry names reach 259 characters and shortcut values 1,023.
  const size_t lengths[] = {0, 1, 255, 256, 259, 1023, 5000};
  std::vector<std::wstring> pushed;
  for (size_t length : lengths) {
    std::wstring text(length, L'x');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_EQ(item_list_push(&list, text.c_str()), 1);
    pushed.push_back(text);
  }
  std::vector<std::wstring> popped = drain(&list);
  ASSERT_EQ(popped.size(), pushed.size());
  for (size_t i = 0; i < pushed.size(); ++i) {
    EXPECT_EQ(popped[i], pushed[pushed.size() - 1 - i]) << "length " << pushed[pushed.size() - 1 - i].size();
  }
}

TEST(ItemList, CopiesThePushedText) {
  ItemList list;
  item_list_init(&list);
  wchar_t buffer[] = L"C:\\out\\file.txt";
  item_list_push(&list, buffer);
  buffer[0] = L'D';
  EXPECT_STREQ(item_list_top(&list), L"C:\\out\\file.txt");
  drain(&list);
}

TEST(ItemList, EmptyListAnswersWithoutChange) {
  ItemList list;
  item_list_init(&list);
  EXPECT_STREQ(item_list_top(&list), L"");
  EXPECT_EQ(item_list_pop(&list), 0);
  EXPECT_EQ(item_list_count(&list), 0);
}

}  // namespace
