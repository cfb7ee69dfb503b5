"use strict";
// What the browser said, passed after the "#", shown as plain text.
document.getElementById("reason").textContent = decodeURIComponent(location.hash.slice(1));
