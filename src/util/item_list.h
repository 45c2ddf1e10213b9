// Last-in, first-out list of texts with a count: the shortcut definitions and
// the names of extracted entries. Portable: no <windows.h>.
#pragma once

struct ItemNode {
  wchar_t* text;  // owned; holds the whole pushed text, however long
  ItemNode* next;
};

struct ItemList {
  ItemNode* newest;
  int count;
};

void item_list_init(ItemList* list);
// 1 on success; 0 with the list unchanged when memory is exhausted.
int item_list_push(ItemList* list, const wchar_t* text);
// The newest text; the shared empty text for an empty list.
const wchar_t* item_list_top(const ItemList* list);
// 1 when a node was removed; 0 for an empty list.
int item_list_pop(ItemList* list);
int item_list_count(const ItemList* list);
