// Subscribers: the subscriber type table and the subscriber objects it types.
// Invariant: type identifiers are table positions and never move; a cleared type keeps its slot.
#include "ztequationmanager/subscriber.h"

#include "internal/registry.h"

namespace {

zteqm::Table<SubscriberTypeRecord> subscriberTypes;

constexpr int32_t kInitialCapacity = 10;

}  // namespace

extern "C" {

void KVAS_Init(void) { subscriberTypes.create(kInitialCapacity); }

void KVAS_Exit(void) { subscriberTypes.release(); }

int32_t KVAS_RegisterSubscriberType(const char *name, SubscriberDestructorFunc destructorFunc,
                                    SubscriberNotifyFunc notifyFunc,
                                    SubscriberInterestFunc interestFunc) {
    if (name == nullptr) return -1;
    const int32_t id = subscriberTypes.count;
    if (!subscriberTypes.make_room(id, id + 10)) return -1;
    SubscriberTypeRecord &record = subscriberTypes.records[id];
    record.typeId = id;
    zteqm::copy_text(record.name, name);
    record.destructorFunc = destructorFunc;
    record.notifyFunc = notifyFunc;
    record.interestFunc = interestFunc;
    subscriberTypes.count = id + 1;
    return id;
}

void KVAS_UnregisterSubscriberType(int32_t typeId) { subscriberTypes.clear(typeId); }

int32_t KVAS_GetNumTypes(void) { return subscriberTypes.count; }

SubscriberDestructorFunc KVAS_GetSubscriberTypeDestructorFunc(int32_t typeId) {
    const SubscriberTypeRecord *record = subscriberTypes.at(typeId);
    return record != nullptr ? record->destructorFunc : nullptr;
}

SubscriberNotifyFunc KVAS_GetSubscriberTypeNotifyFunc(int32_t typeId) {
    return subscriberTypes.field(typeId, &SubscriberTypeRecord::notifyFunc);
}

SubscriberInterestFunc KVAS_GetSubscriberTypeInterestFunc(int32_t typeId) {
    const SubscriberTypeRecord *record = subscriberTypes.at(typeId);
    return record != nullptr ? record->interestFunc : nullptr;
}

int32_t KVAS_IDOfName(const char *name) { return subscriberTypes.find(name, 0); }

const char *KVAS_NameOfID(int32_t typeId) {
    const SubscriberTypeRecord *record = subscriberTypes.at(typeId);
    return record != nullptr ? record->name : nullptr;
}

Subscriber *KVAS_New(int32_t typeId, SubscriberNotifyFunc notifyFunc, void *userData) {
    Subscriber *subscriber = zteqm::new_zeroed<Subscriber>();
    if (subscriber == nullptr) return nullptr;
    subscriber->typeId = typeId;
    if (const char *typeName = KVAS_NameOfID(typeId))
        zteqm::copy_text(subscriber->typeName, typeName);
    subscriber->notifyFunc = notifyFunc;
    subscriber->userData = userData;
    return subscriber;
}

void KVAS_Delete(Subscriber *subscriber) {
    if (subscriber == nullptr) return;
    if (SubscriberDestructorFunc destructor =
            KVAS_GetSubscriberTypeDestructorFunc(subscriber->typeId)) {
        destructor(subscriber->userData);
    }
    KVAMEM_Free(subscriber);
}

void KVAS_Notify(Subscriber *subscriber, Variable *result) {
    if (subscriber == nullptr) return;
    SubscriberNotifyFunc notify = subscriber->notifyFunc;
    if (notify == nullptr) notify = KVAS_GetSubscriberTypeNotifyFunc(subscriber->typeId);
    if (notify != nullptr) notify(result, subscriber->userData);
}

void KVAS_IsInterested(int32_t typeId, Equation *equation, void *paletteUserData) {
    if (SubscriberInterestFunc interest = KVAS_GetSubscriberTypeInterestFunc(typeId)) {
        interest(equation, paletteUserData);
    }
}

int32_t KVAS_GetTypeID(Subscriber *subscriber) {
    return subscriber != nullptr ? subscriber->typeId : 0;
}

}  // extern "C"
