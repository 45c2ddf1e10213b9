#include "util/item_list.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "util/text.h"

void item_list_init(ItemList* list) {
  list->newest = nullptr;
  list->count = 0;
}

int item_list_push(ItemList* list, const wchar_t* text) {
  // The whole text is kept: shortcut values run to 1,023 characters.
  size_t size = (wcslen(text) + 1) * sizeof(wchar_t);
  ItemNode* node = static_cast<ItemNode*>(calloc(1, sizeof(ItemNode)));
  wchar_t* copy = static_cast<wchar_t*>(malloc(size));
  if (node == nullptr || copy == nullptr) {
    free(node);
    free(copy);
    return 0;
  }
  memcpy(copy, text, size);
  node->text = copy;
  node->next = list->newest;
  list->newest = node;
  ++list->count;
  return 1;
}

const wchar_t* item_list_top(const ItemList* list) {
  return list->newest != nullptr ? list->newest->text : kSharedEmptyText;
}

int item_list_pop(ItemList* list) {
  ItemNode* node = list->newest;
  if (node == nullptr) return 0;
  list->newest = node->next;
  --list->count;
  free(node->text);
  free(node);
  return 1;
}

int item_list_count(const ItemList* list) { return list->count; }
